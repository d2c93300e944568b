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
        pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "100%"});
        pactl::Run({"set-sink-mute", "@DEFAULT_SINK@", "1"});
        pactl::Run({"set-source-volume", "@DEFAULT_SOURCE@", "100%"});
        pactl::Run({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        ASSERT_TRUE(pactl::SinkMuted());
        ASSERT_FALSE(pactl::SourceMuted());
    }

    // The server is shared with the tests that record what it plays.
    void TearDown() override { pactl::ResetToFullVolume(); }

    AlsaMixerSystem alsa;
};

TEST_F(PulseMixer, StartupAndTheControlsActOnTheServer) {
    ShownMessages shown;
    Panel panel(alsa);
    panel.startup();

    EXPECT_EQ(pactl::SinkVolume(), (std::vector<int>{67, 67}));
    EXPECT_FALSE(pactl::SinkMuted());
    EXPECT_TRUE(pactl::SourceMuted());
    EXPECT_EQ(pactl::SourceVolume(), (std::vector<int>{0, 0}));
    EXPECT_EQ(panel.masterLevel.value(), 34);
    EXPECT_EQ(panel.controls->masterVolume().Volume(), 66);

    panel.masterLevel.setValue(50);
    EXPECT_EQ(pactl::SinkVolume(), (std::vector<int>{50, 50}));
    panel.masterLevel.setValue(0);
    EXPECT_EQ(pactl::SinkVolume(), (std::vector<int>{100, 100}));

    panel.micLevel.setValue(0);
    EXPECT_EQ(pactl::SourceVolume(), (std::vector<int>{100, 100}));

    panel.micMute.click();
    EXPECT_FALSE(pactl::SourceMuted());
    EXPECT_FALSE(panel.micMute.isChecked());
    panel.micMute.click();
    EXPECT_TRUE(pactl::SourceMuted());
    EXPECT_TRUE(panel.micMute.isChecked());
    EXPECT_TRUE(shown.texts.isEmpty());
}

TEST_F(PulseMixer, BalanceReachesTheChannels) {
    MasterVolume masterVolume(alsa);
    masterVolume.SetVolume(67);
    masterVolume.SetBalance(-50);
    EXPECT_EQ(pactl::SinkVolume(), (std::vector<int>{67, 33}));
    EXPECT_EQ(masterVolume.Volume(), 66);
    EXPECT_EQ(masterVolume.Balance(), -50);
    // A change made by another program reaches the reads once the server's
    // event has come in. The server's 50% is 32768 of 65536, a hair above
    // half: balance -49.
    pactl::Run({"set-sink-volume", "@DEFAULT_SINK@", "100%", "50%"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return masterVolume.Volume() == 100; }, 10000));
    EXPECT_EQ(masterVolume.Balance(), -49);
}

TEST_F(PulseMixer, TheLineListReadsTheServersControls) {
    MixerLineList settings(alsa);
    ASSERT_TRUE(settings.Enumerate(0));
    std::vector<const MixerLine*> records;
    for (const MixerLine* r = settings.Lines(); r; r = r->Next.get())
        records.push_back(r);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]->Name, "PulseAudio");
    EXPECT_EQ(records[1]->Name, "Master");
    EXPECT_TRUE(records[1]->OnSpeakers);
    EXPECT_TRUE(records[1]->Muted); // set up muted
    EXPECT_EQ(records[1]->VolumeLeft, 65535);
    EXPECT_EQ(records[1]->Flags, 0);
    EXPECT_EQ(std::tie(records[3]->Destination, records[3]->Source), std::tuple(1, 1));
    EXPECT_FALSE(records[3]->Muted);
    EXPECT_FALSE(records[3]->OnSpeakers);
}
