// The system mixer as found is put back at exit, except what the user set in
// the panel; outside changes show in the panel without being written back.
#include "MixerPanelFixture.h"
#include "platform/mixer/VirtualMixer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace mixer;
using Levels = std::array<std::uint32_t, 2>;

namespace {

constexpr Levels kMic80{52428, 52428};
constexpr Levels kMaster35{22937, 22937};

struct FoundCard {
    VirtualMixerSystem system;
    std::uint32_t speakersVolume = 0, speakersMute = 0, micVolume = 0, micMute = 0;

    // A card as the user left it: speakers muted at 35 %, microphone on at 80 %.
    FoundCard() {
        const int card = system.addDevice("Card");
        const auto speakers = system.addDestination(card, "Speakers", LineKind::Speakers, 2);
        speakersVolume = system.addControl(speakers, ControlKind::Volume);
        speakersMute = system.addControl(speakers, ControlKind::Mute);
        const auto recording = system.addDestination(card, "Recording", LineKind::Recording, 2);
        const auto mic = system.addSource(recording, "Mic", LineKind::Microphone, 2);
        micVolume = system.addControl(mic, ControlKind::Volume);
        micMute = system.addControl(mic, ControlKind::Mute);
        system.setValues(speakersVolume, kMaster35);
        system.setValues(speakersMute, {1, 0});
        system.setValues(micVolume, kMic80);
        system.setValues(micMute, {0, 0});
    }
};

// Delivers the queued change notices, the program's own echoes included.
void deliverNotices() {
    QCoreApplication::processEvents();
}

} // namespace

TEST(MixerRestore, ExitPutsBackWhatStartupChanged) {
    FoundCard card;
    Panel panel(card.system);
    panel.startup();
    deliverNotices();
    ASSERT_EQ(card.system.values(card.micMute)[0], 1u);
    ASSERT_EQ(card.system.values(card.speakersVolume), (Levels{43908, 43908}));

    panel.controls->restoreSystemMixer();
    EXPECT_EQ(card.system.values(card.speakersVolume), kMaster35);
    EXPECT_EQ(card.system.values(card.speakersMute)[0], 1u);
    EXPECT_EQ(card.system.values(card.micVolume), kMic80);
    EXPECT_EQ(card.system.values(card.micMute)[0], 0u);

    // Once: a second call (the window's destruction after Exit) writes nothing.
    const int writes = card.system.writeCount(card.micVolume);
    panel.controls->restoreSystemMixer();
    EXPECT_EQ(card.system.writeCount(card.micVolume), writes);
}

TEST(MixerRestore, WhatTheUserSetInThePanelStays) {
    FoundCard card;
    Panel panel(card.system);
    panel.startup();
    panel.masterLevel.setValue(50);
    panel.micMute.click(); // unmuted by the user
    panel.micMute.click(); // and muted again: their choice is "muted"
    deliverNotices();

    panel.controls->restoreSystemMixer();
    EXPECT_EQ(card.system.values(card.speakersVolume), (Levels{32767, 32767}));
    EXPECT_EQ(card.system.values(card.micMute)[0], 1u);
    EXPECT_EQ(card.system.values(card.micVolume), kMic80); // untouched by the user
    EXPECT_EQ(card.system.values(card.speakersMute)[0], 1u);

    FoundCard other;
    Panel micUser(other.system);
    micUser.startup();
    micUser.micLevel.setValue(60000);
    micUser.controls->restoreSystemMixer();
    EXPECT_EQ(other.system.values(other.micVolume)[0], 5535u);
    EXPECT_EQ(other.system.values(other.speakersVolume), kMaster35);
}

TEST(MixerFollow, OutsideChangesShowWithoutWritingBackOrStoppingTheFade) {
    FoundCard card;
    Panel panel(card.system);
    panel.startup();
    panel.masterLevel.setValue(50); // the user's own move is not undone by its echo
    deliverNotices();
    EXPECT_EQ(panel.masterLevel.value(), 50);
    const int clears = panel.crossFadeClears;
    const int masterWrites = card.system.writeCount(card.speakersVolume);
    const int micWrites = card.system.writeCount(card.micVolume);
    const int muteWrites = card.system.writeCount(card.micMute);

    card.system.setValues(card.speakersVolume, {19661, 19661}); // 30 %
    card.system.setValues(card.micVolume, {40000, 40000});
    card.system.setValues(card.micMute, {0, 0});
    deliverNotices();

    EXPECT_EQ(panel.masterLevel.value(), 70);
    EXPECT_EQ(panel.micLevel.value(), 25535);
    EXPECT_FALSE(panel.micMute.isChecked());
    EXPECT_FALSE(panel.controls->micMuted());
    EXPECT_EQ(panel.crossFadeClears, clears);
    EXPECT_EQ(card.system.writeCount(card.speakersVolume), masterWrites);
    EXPECT_EQ(card.system.writeCount(card.micVolume), micWrites);
    EXPECT_EQ(card.system.writeCount(card.micMute), muteWrites);

    // Following is not the user's choice: the microphone is restored.
    panel.controls->restoreSystemMixer();
    EXPECT_EQ(card.system.values(card.micVolume), kMic80);
    EXPECT_EQ(card.system.values(card.speakersVolume), (Levels{19661, 19661}));
}
