#include "MixerPanelFixture.h"
#include "Pactl.h"
#include "broadcast/MixerLineList.h"
#include "platform/mixer/AlsaMixer.h"

#include <QTest>
#include <gtest/gtest.h>
#include <vector>

using namespace mixer;

// The real ALSA mixer against the private PulseAudio server whose default
// sink and source are the speakers and the microphone.
class PulseMixer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qgetenv("PULSE_SERVER").isEmpty());
        ASSERT_EQ(alsa.deviceCount(), 1) << "the sound server's mixer is not reachable";
        // Start from the opposite of what start-up must leave.
        pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "100%"});
        pactl::run({"set-sink-mute", "@DEFAULT_SINK@", "1"});
        pactl::run({"set-source-volume", "@DEFAULT_SOURCE@", "100%"});
        pactl::run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        ASSERT_TRUE(pactl::sinkMuted());
        ASSERT_FALSE(pactl::sourceMuted());
    }

    // The server is shared with the tests that record what it plays.
    void TearDown() override { pactl::resetToFullVolume(); }

    AlsaMixerSystem alsa;
};

TEST_F(PulseMixer, StartupAndTheControlsActOnTheServer) {
    ShownMessages shown;
    Panel panel(alsa);
    panel.startup();

    EXPECT_EQ(pactl::sinkVolume(), (std::vector<int>{67, 67}));
    EXPECT_FALSE(pactl::sinkMuted());
    EXPECT_TRUE(pactl::sourceMuted());
    EXPECT_EQ(pactl::sourceVolume(), (std::vector<int>{0, 0}));
    EXPECT_EQ(panel.masterLevel.value(), 34);
    EXPECT_EQ(panel.controls->masterVolume().volume(), 66);

    panel.masterLevel.setValue(50);
    EXPECT_EQ(pactl::sinkVolume(), (std::vector<int>{50, 50}));
    panel.masterLevel.setValue(0);
    EXPECT_EQ(pactl::sinkVolume(), (std::vector<int>{100, 100}));

    panel.micLevel.setValue(0);
    EXPECT_EQ(pactl::sourceVolume(), (std::vector<int>{100, 100}));

    panel.micMute.click();
    EXPECT_FALSE(pactl::sourceMuted());
    EXPECT_FALSE(panel.micMute.isChecked());
    panel.micMute.click();
    EXPECT_TRUE(pactl::sourceMuted());
    EXPECT_TRUE(panel.micMute.isChecked());
    EXPECT_TRUE(shown.texts.isEmpty());
}

TEST_F(PulseMixer, BalanceReachesTheChannels) {
    MasterVolume masterVolume(alsa);
    masterVolume.setVolume(67);
    masterVolume.setBalance(-50);
    EXPECT_EQ(pactl::sinkVolume(), (std::vector<int>{67, 33}));
    EXPECT_EQ(masterVolume.volume(), 66);
    EXPECT_EQ(masterVolume.balance(), -50);
    // A change made by another program reaches the reads once the server's
    // event has come in. The server's 50% is 32768 of 65536, a hair above
    // half: balance -49.
    pactl::run({"set-sink-volume", "@DEFAULT_SINK@", "100%", "50%"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return masterVolume.volume() == 100; }, 10000));
    EXPECT_EQ(masterVolume.balance(), -49);
}

TEST_F(PulseMixer, TheLineListReadsTheServersControls) {
    MixerLineList settings(alsa);
    ASSERT_TRUE(settings.enumerate(0));
    std::vector<const MixerLine*> records;
    for (const MixerLine* r = settings.lines(); r; r = r->next.get())
        records.push_back(r);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]->name, "PulseAudio");
    EXPECT_EQ(records[1]->name, "Master");
    EXPECT_TRUE(records[1]->OnSpeakers);
    EXPECT_TRUE(records[1]->Muted); // set up muted
    EXPECT_EQ(records[1]->VolumeLeft, 65535);
    EXPECT_EQ(records[1]->Flags, 0);
    EXPECT_EQ(std::tie(records[3]->Destination, records[3]->Source), std::tuple(1, 1));
    EXPECT_FALSE(records[3]->Muted);
    EXPECT_FALSE(records[3]->OnSpeakers);
}
