#include "mixer/MasterVolume.h"
#include "platform/mixer/VirtualMixer.h"

#include <gtest/gtest.h>

using namespace mixer;
using Levels = std::array<std::uint32_t, 2>;

namespace {

// A card whose speakers line has a stereo volume fader and a mute switch.
struct SpeakersMixer : ::testing::Test {
    VirtualMixerSystem system;
    std::uint32_t volume = 0;
    std::uint32_t mute = 0;

    SpeakersMixer() {
        const int card = system.addDevice("Card");
        const auto speakers = system.addDestination(card, "Speakers", LineKind::Speakers, 2);
        volume = system.addControl(speakers, ControlKind::Volume);
        mute = system.addControl(speakers, ControlKind::Mute);
    }
};

} // namespace

TEST_F(SpeakersMixer, CreationUnmutesAndReadsTheVolume) {
    system.setValues(mute, {1, 0});
    system.setValues(volume, {65535, 32767});
    MasterVolume masterVolume(system);
    EXPECT_EQ(system.values(mute)[0], 0u);
    EXPECT_FALSE(masterVolume.mute());
    EXPECT_EQ(masterVolume.volume(), 100);
    EXPECT_EQ(masterVolume.balance(), -50);
    EXPECT_EQ(system.openMixers(), 1); // kept open for the component's life
}

TEST_F(SpeakersMixer, StoredSettingsGive67PerCentCentred) {
    system.setValues(volume, {10000, 60000});
    MasterVolume masterVolume(system);
    masterVolume.setMute(true);
    masterVolume.applyStoredSettings();
    EXPECT_EQ(system.values(mute)[0], 0u);
    EXPECT_EQ(system.values(volume), (Levels{43908, 43908}));
    EXPECT_EQ(masterVolume.volume(), 66); // truncation loses one step
    EXPECT_EQ(masterVolume.balance(), 0);
}

TEST_F(SpeakersMixer, VolumeAndBalanceFigures) {
    MasterVolume masterVolume(system);
    masterVolume.setBalance(0);
    masterVolume.setVolume(100);
    EXPECT_EQ(system.values(volume), (Levels{65535, 65535}));
    masterVolume.setVolume(1);
    EXPECT_EQ(system.values(volume), (Levels{655, 655}));
    EXPECT_EQ(masterVolume.volume(), 0);

    masterVolume.setVolume(67);
    masterVolume.setBalance(-50);
    EXPECT_EQ(system.values(volume), (Levels{43908, 21954}));
    EXPECT_EQ(masterVolume.volume(), 66);
    EXPECT_EQ(masterVolume.balance(), -50);

    masterVolume.setBalance(-100);
    EXPECT_EQ(system.values(volume)[1], 0u);
    masterVolume.setBalance(100);
    EXPECT_EQ(system.values(volume)[0], 0u);
    EXPECT_GT(system.values(volume)[1], 0u);
}

TEST_F(SpeakersMixer, ReadsFollowTheMixer) {
    MasterVolume masterVolume(system);
    system.setValues(volume, {65535, 32767});
    EXPECT_EQ(masterVolume.volume(), 100);
    EXPECT_EQ(masterVolume.balance(), -50);
    system.setValues(volume, {0, 0});
    EXPECT_EQ(masterVolume.volume(), 0);
    EXPECT_EQ(masterVolume.balance(), 0); // whatever the last balance was
    system.setValues(volume, {20000, 40000});
    EXPECT_EQ(masterVolume.balance(), 50);
}

TEST_F(SpeakersMixer, OutOfRangeValuesSendNothing) {
    MasterVolume masterVolume(system);
    masterVolume.setVolume(40);
    const int writes = system.writeCount(volume);
    const Levels before = system.values(volume);
    for (int bad : {101, -1})
        masterVolume.setVolume(bad);
    for (int bad : {101, -101})
        masterVolume.setBalance(bad);
    EXPECT_EQ(system.writeCount(volume), writes);
    EXPECT_EQ(system.values(volume), before);
    EXPECT_EQ(masterVolume.volume(), 40);
    EXPECT_EQ(masterVolume.balance(), 0);
}

TEST(MasterVolumeLines, FirstListedControlOfATypeWins) {
    VirtualMixerSystem system;
    const int card = system.addDevice("Card");
    const auto speakers = system.addDestination(card, "Speakers", LineKind::Speakers, 2);
    const auto first = system.addControl(speakers, ControlKind::Volume);
    const auto second = system.addControl(speakers, ControlKind::Volume);
    MasterVolume masterVolume(system);
    masterVolume.setVolume(50);
    EXPECT_EQ(system.values(first)[0], 32767u);
    EXPECT_EQ(system.writeCount(second), 0);
}

TEST(MasterVolumeLines, NoMixerKeepsTheStoredValues) {
    VirtualMixerSystem none;
    MasterVolume masterVolume(none);
    masterVolume.applyStoredSettings();
    EXPECT_EQ(masterVolume.volume(), 67);
    EXPECT_EQ(masterVolume.balance(), 0);
    EXPECT_FALSE(masterVolume.mute());

    // A card without a speakers line behaves the same.
    VirtualMixerSystem noSpeakers;
    const int card = noSpeakers.addDevice("Card");
    noSpeakers.addDestination(card, "Recording", LineKind::Recording, 2);
    MasterVolume other(noSpeakers);
    other.setVolume(30);
    EXPECT_EQ(other.volume(), 30);
}

// A failing mixer operation says false and, when asked, why.
TEST_F(SpeakersMixer, FailuresSayWhy) {
    std::unique_ptr<Mixer> mixer;
    std::string why;
    EXPECT_FALSE(system.open(1, {}, mixer, &why));
    EXPECT_EQ(why, kNoSuchDevice);
    system.setOpenFails(0, true);
    EXPECT_FALSE(system.open(0, {}, mixer, nullptr));
    system.setOpenFails(0, false);
    ASSERT_TRUE(system.open(0, {}, mixer, &why));

    system.setWritesRefused(volume, true);
    const std::array<std::uint32_t, 2> loud{65535, 65535};
    EXPECT_FALSE(mixer->setControlDetails(volume, loud, &why));
    EXPECT_EQ(why, kRefused);
    const std::array<std::uint32_t, 2> tooLoud{65536, 0};
    EXPECT_FALSE(mixer->setControlDetails(mute + 100, tooLoud, &why));
    EXPECT_EQ(why, kNoSuchControl);
    LineInfo line;
    EXPECT_FALSE(mixer->lineByKind(LineKind::Microphone, line, &why));
    EXPECT_EQ(why, kNoSuchLine);
}
