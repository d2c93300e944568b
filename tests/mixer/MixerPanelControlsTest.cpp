#include "MixerPanelFixture.h"
#include "mixer/MicrophoneRoutines.h"
#include "platform/mixer/VirtualMixer.h"

#include <gtest/gtest.h>

using namespace mixer;
using Levels = std::array<std::uint32_t, 2>;

namespace {

struct CardLines {
    std::uint32_t speakersVolume = 0, speakersMute = 0, micVolume = 0, micMute = 0;
    std::uint32_t mic = 0;
};

CardLines declareCard(VirtualMixerSystem& system, bool micHasMute = true) {
    CardLines lines;
    const int card = system.addDevice("Card");
    const auto speakers = system.addDestination(card, "Speakers", LineKind::Speakers, 2);
    lines.speakersVolume = system.addControl(speakers, ControlKind::Volume);
    lines.speakersMute = system.addControl(speakers, ControlKind::Mute);
    const auto recording = system.addDestination(card, "Recording", LineKind::Recording, 2);
    lines.mic = system.addSource(recording, "Mic", LineKind::Microphone, 1);
    lines.micVolume = system.addControl(lines.mic, ControlKind::Volume);
    if (micHasMute)
        lines.micMute = system.addControl(lines.mic, ControlKind::Mute);
    return lines;
}

} // namespace

TEST(MixerPanel, StartupLeavesSpeakersAt67AndMicrophoneMutedAtZero) {
    ShownMessages shown;
    VirtualMixerSystem system;
    const CardLines card = declareCard(system);
    system.setValues(card.speakersMute, {1, 0});
    Panel panel(system);
    panel.startup();

    EXPECT_EQ(system.values(card.speakersMute)[0], 0u);
    EXPECT_EQ(system.values(card.speakersVolume), (Levels{43908, 43908}));
    EXPECT_EQ(system.values(card.micMute)[0], 1u);
    EXPECT_EQ(system.values(card.micVolume)[0], 0u);
    EXPECT_EQ(panel.micLevel.value(), 65535);
    EXPECT_EQ(panel.masterLevel.value(), 34); // shows the volume read back, 66
    EXPECT_TRUE(panel.micMute.isChecked());
    EXPECT_TRUE(panel.controls->micMuted());
    EXPECT_EQ(panel.crossFadeClears, 1);
    EXPECT_TRUE(shown.texts.isEmpty());
    EXPECT_EQ(system.openMixers(),
              2); // masterVolume's and the panel's watch; the routines close theirs
}

TEST(MixerPanel, MicrophoneVolumeIsSetEvenWhenTheSliderIsAlreadyAtTheBottom) {
    VirtualMixerSystem system;
    const CardLines card = declareCard(system);
    Panel panel(system);
    panel.micLevel.setValue(65535);               // the handler sets volume 0 ...
    system.setValues(card.micVolume, {40000, 0}); // ... then someone raises it
    panel.controls->startupMicrophone();
    EXPECT_EQ(system.values(card.micVolume)[0], 0u);
}

TEST(MixerPanel, SliderEndsGiveFullAndNoVolume) {
    VirtualMixerSystem system;
    const CardLines card = declareCard(system);
    Panel panel(system);
    panel.startup();
    const int clears = panel.crossFadeClears;

    panel.masterLevel.setValue(0);
    EXPECT_EQ(system.values(card.speakersVolume), (Levels{65535, 65535}));
    panel.masterLevel.setValue(100);
    EXPECT_EQ(system.values(card.speakersVolume), (Levels{0, 0}));
    EXPECT_EQ(panel.crossFadeClears, clears); // the master slider leaves the cross-fade alone

    panel.micLevel.setValue(0);
    EXPECT_EQ(system.values(card.micVolume)[0], 65535u);
    panel.micLevel.setValue(65535);
    EXPECT_EQ(system.values(card.micVolume)[0], 0u);
    EXPECT_EQ(panel.crossFadeClears, clears + 2);
}

TEST(MixerPanel, MuteMicClickTogglesTheMicrophoneAndTheBox) {
    ShownMessages shown;
    VirtualMixerSystem system;
    const CardLines card = declareCard(system);
    Panel panel(system);
    panel.startup();

    panel.micMute.click();
    EXPECT_EQ(system.values(card.micMute)[0], 0u);
    EXPECT_FALSE(panel.micMute.isChecked());
    EXPECT_FALSE(panel.controls->micMuted());

    panel.micMute.click();
    EXPECT_EQ(system.values(card.micMute)[0], 1u);
    EXPECT_TRUE(panel.micMute.isChecked());
    EXPECT_TRUE(shown.texts.isEmpty());
}

TEST(MixerPanel, MicrophoneWithoutMuteShowsGetLineInfoErrorAndStillToggles) {
    ShownMessages shown;
    VirtualMixerSystem system;
    declareCard(system, /*micHasMute=*/false);
    Panel panel(system);
    panel.startup();
    EXPECT_EQ(shown.texts, QStringList{QStringLiteral("GetLineInfo Error")}); // start-up mute
    shown.texts.clear();

    panel.micMute.click();
    EXPECT_EQ(shown.texts, QStringList{QStringLiteral("GetLineInfo Error")});
    EXPECT_FALSE(panel.micMute.isChecked());
    EXPECT_FALSE(panel.controls->micMuted());
    EXPECT_EQ(system.openMixers(), 2); // closed after the error too
}

TEST(MixerPanel, RefusedValueShowsSetControlDetailsError) {
    ShownMessages shown;
    VirtualMixerSystem system;
    const CardLines card = declareCard(system);
    system.setWritesRefused(card.micVolume, true);
    setMicVolume(1000, system);
    EXPECT_EQ(shown.texts, QStringList{QStringLiteral("SetControlDetails Error")});
    EXPECT_EQ(system.openMixers(), 0);
}

TEST(MixerPanel, NoMixerOrNoMicrophoneDoesNothingAndShowsNothing) {
    ShownMessages shown;
    VirtualMixerSystem none;
    Panel panel(none);
    panel.startup();
    panel.micMute.click();
    panel.micLevel.setValue(100);
    panel.masterLevel.setValue(10);
    EXPECT_FALSE(panel.controls->micMuted()); // the flag follows the clicks regardless
    EXPECT_FALSE(panel.micMute.isChecked());

    VirtualMixerSystem closed;
    const CardLines card = declareCard(closed);
    closed.setOpenFails(0, true);
    setMicMute(false, closed);
    setMicVolume(5, closed);

    VirtualMixerSystem noMic;
    const int dev = noMic.addDevice("Card");
    noMic.addDestination(dev, "Speakers", LineKind::Speakers, 2);
    setMicMute(true, noMic);
    setMicVolume(5, noMic);

    EXPECT_TRUE(shown.texts.isEmpty());
    EXPECT_EQ(closed.writeCount(card.micMute), 0);
    EXPECT_EQ(noMic.openMixers(), 0);
}
