#include "MixerPanelFixture.h"
#include "broadcast/MixerLineList.h"
#include "platform/mixer/AlsaMixer.h"

#include <QFile>
#include <future>
#include <gtest/gtest.h>

using namespace mixer;

// PULSE_SERVER names a socket nobody listens on: the controls do nothing,
// show nothing and return.
TEST(NoSoundServer, ControlsDoNothingShowNothingAndReturn) {
    if (QFile::exists(QStringLiteral("/dev/snd/controlC0")))
        GTEST_SKIP() << "this machine has a sound card of its own";
    ASSERT_TRUE(qgetenv("PULSE_SERVER").contains("nonexistent"));
    ShownMessages shown;
    AlsaMixerSystem alsa;

    // A hang is a failure, not a stuck test run.
    auto probe = std::async(std::launch::async, [&alsa] { return alsa.deviceCount(); });
    ASSERT_EQ(probe.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(probe.get(), 0);

    Panel panel(alsa);
    panel.startup();
    panel.micMute.click();
    panel.micLevel.setValue(1000);
    panel.masterLevel.setValue(10);
    EXPECT_TRUE(shown.texts.isEmpty());
    EXPECT_EQ(panel.controls->masterVolume().volume(), 90); // the value last stored
    EXPECT_FALSE(panel.controls->micMuted());

    MixerLineList settings(alsa);
    EXPECT_FALSE(settings.enumerate(0));
    EXPECT_EQ(settings.lines(), nullptr);
}
