#include "mixer/InputLevel.h"
#include "mixer/InputMeterDesign.h"
#include "platform/capture/VirtualInput.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace vi = audio::virtual_input;

namespace {

// The controller as the window runs it, on the virtual input: one 8192-byte
// block is 2048 stereo frames.
class InputLevelOnVirtualInput : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        vi::resetState();
        meter_.reset(createInputMeter(nullptr));
        level_ = std::make_unique<InputLevel>(meter_.get());
    }
    void TearDown() override {
        level_.reset();
        EXPECT_EQ(vi::openCaptures(), 0);
    }
    void recordBuffers(int n) {
        for (int i = 0; i < n; ++i) {
            vi::advance(2048);
            QCoreApplication::sendPostedEvents();
        }
    }
    std::unique_ptr<LevelMeter> meter_;
    std::unique_ptr<InputLevel> level_;
};

TEST_F(InputLevelOnVirtualInput, StartsAsTheWindowConfiguresIt) {
    ASSERT_TRUE(level_->start());
    const LevelCapture* in = level_->capture();
    EXPECT_TRUE(in->isDelivering());
    EXPECT_EQ(in->format().rate, 44100);
    EXPECT_EQ(in->format().channels, 2);
    EXPECT_EQ(in->format().sampleType, audio::SampleType::Int16);
    EXPECT_EQ(in->blockBytes(), 8192u);
}

TEST_F(InputLevelOnVirtualInput, ToneLightsSilenceDimsAndStopHoldsTheBar) {
    ASSERT_TRUE(level_->start());
    vi::setTone(440, 1.0);
    recordBuffers(3);
    EXPECT_EQ(meter_->litCount(0), 88);
    vi::setTone(440, 10000.0 / 32767.0);
    recordBuffers(1);
    EXPECT_EQ(meter_->litCount(0), 69);
    vi::setSilence();
    recordBuffers(1);
    EXPECT_EQ(meter_->litCount(0), 0);

    vi::setTone(440, 1.0);
    level_->stopWhenDrained();
    recordBuffers(3);
    EXPECT_EQ(meter_->litCount(0), 0);
    EXPECT_FALSE(level_->capture()->isOpen());
}

TEST_F(InputLevelOnVirtualInput, NoInputDeviceLeavesTheMeterAtRest) {
    vi::failNextOpen("There is no sound input to record from.");
    EXPECT_FALSE(level_->start());
    vi::setTone(440, 1.0);
    recordBuffers(2);
    EXPECT_EQ(meter_->litCount(0), 0);
}

// The watchdog on a capture that stops delivering (as a real input does when
// the sound server goes away): the meter drops to rest, the capture is opened
// again, a failed reopening is retried later, and buffers bring the meter back.
TEST_F(InputLevelOnVirtualInput, AStalledCaptureIsReopenedUntilBuffersFlowAgain) {
    level_->setStallLimitMs(100);
    ASSERT_TRUE(level_->start());
    vi::setTone(440, 1.0);
    recordBuffers(2);
    ASSERT_EQ(meter_->litCount(0), 88);

    vi::failNextOpen("The sound input is busy.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return vi::openCaptures() == 0; }, 5000))
        << "the stalled capture was never closed";
    EXPECT_EQ(meter_->litCount(0), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return vi::openCaptures() == 1; }, 5000))
        << "the failed reopening was never retried";
    // Fed until a buffer lands (a slow machine may see another stall first).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            recordBuffers(1);
            return meter_->litCount(0) == 88;
        },
        5000));

    // Closing ends the watching: the drained capture stays closed.
    level_->stopWhenDrained();
    recordBuffers(2);
    QTest::qWait(400);
    EXPECT_EQ(vi::openCaptures(), 0);
}

// Without an input that ever delivered there is nothing to come back to.
TEST_F(InputLevelOnVirtualInput, ACaptureThatNeverDeliveredIsLeftAlone) {
    level_->setStallLimitMs(50);
    vi::failNextOpen("There is no sound input to record from.");
    EXPECT_FALSE(level_->start());
    QTest::qWait(300);
    EXPECT_EQ(vi::openCaptures(), 0);
}

} // namespace
