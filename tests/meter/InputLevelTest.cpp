#include "mixer/InputLevel.h"
#include "tests/support/TestApp.h"
#include "mixer/VuMeterDesign.h"
#include "platform/wavein/VirtualWaveIn.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

namespace vi = wavein::virtual_input;

namespace {

// The controller as the window runs it, on the virtual input: one 8192-byte
// buffer is 2048 stereo frames.
class InputLevelOnVirtualInput : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        wavein::UseBackend(wavein::Backend::Virtual);
        vi::ResetState();
        meter_.reset(CreateVuMeterLeft(nullptr));
        level_ = std::make_unique<InputLevel>(meter_.get());
    }
    void TearDown() override {
        level_.reset();
        EXPECT_EQ(vi::OpenDevices(), 0);
    }
    void RecordBuffers(int n) {
        for (int i = 0; i < n; ++i) {
            vi::Advance(2048);
            QCoreApplication::sendPostedEvents();
        }
    }
    std::unique_ptr<TFBVUMeter> meter_;
    std::unique_ptr<InputLevel> level_;
};

TEST_F(InputLevelOnVirtualInput, StartsAsTheWindowConfiguresIt) {
    ASSERT_TRUE(level_->Start());
    TAudioInMM* in = level_->AudioIn1();
    EXPECT_EQ(in->WaveDevice(), -1);
    EXPECT_EQ(in->NumBuffers(), 2);
    EXPECT_EQ(in->FrameRate(), 44100);
    EXPECT_TRUE(in->Stereo());
    EXPECT_EQ(in->BufferSize(), 8192);
}

TEST_F(InputLevelOnVirtualInput, ToneLightsSilenceDimsAndStopHoldsTheBar) {
    ASSERT_TRUE(level_->Start());
    vi::SetTone(440, 1.0);
    RecordBuffers(3);
    EXPECT_EQ(meter_->LitCount(0), 88);
    vi::SetTone(440, 10000.0 / 32767.0);
    RecordBuffers(1);
    EXPECT_EQ(meter_->LitCount(0), 69);
    vi::SetSilence();
    RecordBuffers(1);
    EXPECT_EQ(meter_->LitCount(0), 0);

    vi::SetTone(440, 1.0);
    level_->StopWhenDrained();
    RecordBuffers(3);
    EXPECT_EQ(meter_->LitCount(0), 0);
    EXPECT_FALSE(level_->AudioIn1()->DeviceOpen());
}

TEST_F(InputLevelOnVirtualInput, NoInputDeviceLeavesTheMeterAtRest) {
    vi::FailNextOpen(wavein::MMSYSERR_NODRIVER);
    EXPECT_FALSE(level_->Start());
    vi::SetTone(440, 1.0);
    RecordBuffers(2);
    EXPECT_EQ(meter_->LitCount(0), 0);
}

} // namespace
