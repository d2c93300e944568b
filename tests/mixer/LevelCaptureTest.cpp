#include "mixer/LevelCapture.h"
#include "platform/capture/VirtualInput.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vi = audio::virtual_input;

namespace {

class LevelCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        audio::UseCaptureBackend(audio::CaptureBackend::Virtual);
        vi::ResetState();
        in_ = std::make_unique<LevelCapture>();
    }
    void TearDown() override {
        in_.reset();
        EXPECT_EQ(vi::OpenCaptures(), 0);
    }
    // As the main window configures it: 2 buffers of 8192 bytes, 44100 Hz stereo.
    void ConfigureAsWindow() {
        in_->SetWaveDevice(-1);
        in_->SetNumBuffers(1);
        in_->SetFrameRate(44100);
        in_->SetStereo(true);
        in_->OnBufferFilled = [this](char* buffer, int& size) {
            firstBytes_.push_back(buffer[0]);
            sizes_.push_back(size);
            size = 1; // a change of Size is not used
            const bool answer = answers_.empty() ? true : answers_.front();
            if (!answers_.empty())
                answers_.erase(answers_.begin());
            return answer;
        };
    }
    // Records one whole buffer whose bytes all have the given value, then lets
    // the notifications run.
    void RecordBuffer(char value) {
        std::vector<char> bytes(std::size_t(in_->BufferSize()), value);
        vi::Feed(bytes.data(), bytes.size());
        QCoreApplication::sendPostedEvents();
    }
    std::unique_ptr<LevelCapture> in_;
    std::vector<bool> answers_;
    std::vector<char> firstBytes_;
    std::vector<int> sizes_;
};

TEST_F(LevelCaptureTest, ValuesAtCreation) {
    EXPECT_EQ(in_->NumBuffers(), 4);
    EXPECT_EQ(in_->BufferSize(), 8192);
    EXPECT_EQ(in_->WaveDevice(), -1);
    EXPECT_EQ(in_->Quantization(), 16);
    EXPECT_FALSE(in_->Stereo());
    EXPECT_EQ(in_->FrameRate(), 22050);
    EXPECT_FALSE(in_->Recording());
    EXPECT_FALSE(in_->Capturing());
    EXPECT_FALSE(in_->DeviceOpen());
    EXPECT_EQ(in_->LastErrorText(), "");
    EXPECT_EQ(in_->Format().bytesPerFrame(), 2);
    EXPECT_EQ(in_->Format().bytesPerSecond(), 44100);
}

TEST_F(LevelCaptureTest, PropertyRules) {
    in_->SetNumBuffers(1);
    EXPECT_EQ(in_->NumBuffers(), 2);
    in_->SetNumBuffers(9);
    EXPECT_EQ(in_->NumBuffers(), 4);
    in_->SetBufferSize(100);
    EXPECT_EQ(in_->BufferSize(), 512);
    in_->SetQuantization(12);
    EXPECT_EQ(in_->Quantization(), 16);
    in_->SetQuantization(4);
    EXPECT_EQ(in_->Quantization(), 8);
    in_->SetQuantization(16);
    in_->SetStereo(true);
    in_->SetBufferSize(8190);
    EXPECT_EQ(in_->BufferSize(), 8188);

    ConfigureAsWindow();
    in_->SetBufferSize(8192);
    EXPECT_EQ(in_->NumBuffers(), 2);
    EXPECT_EQ(in_->BufferSize(), 8192);
    EXPECT_EQ(in_->Format().bytesPerFrame(), 4);
    EXPECT_EQ(in_->Format().bytesPerSecond(), 176400);
}

TEST_F(LevelCaptureTest, BuffersGoToTheEventAndBackToTheDevice) {
    ConfigureAsWindow();
    ASSERT_TRUE(in_->StartCapture()) << in_->LastErrorText();
    EXPECT_TRUE(in_->DeviceOpen());
    EXPECT_TRUE(in_->Recording());
    EXPECT_TRUE(in_->Capturing());
    EXPECT_EQ(in_->QueuedCount(), 2);
    for (char v : {1, 2, 3, 4, 5})
        RecordBuffer(v);
    EXPECT_EQ(firstBytes_, (std::vector<char>{1, 2, 3, 4, 5}));
    EXPECT_EQ(sizes_, std::vector<int>(5, 8192));
    EXPECT_EQ(in_->QueuedCount(), 2);

    EXPECT_FALSE(in_->StartCapture());
    EXPECT_EQ(in_->LastErrorText(), "Wave Input device is already open");
}

TEST_F(LevelCaptureTest, RefusalDrainsAndClosesWhenTheCountNextReachesZero) {
    ConfigureAsWindow();
    answers_ = {false, true};
    ASSERT_TRUE(in_->StartCapture());
    RecordBuffer(7); // refused: not queued again
    EXPECT_EQ(in_->QueuedCount(), 1);
    EXPECT_TRUE(in_->DeviceOpen());
    RecordBuffer(8); // count reaches 0: queued again, then the device closes
    EXPECT_EQ(firstBytes_, (std::vector<char>{7, 8})); // the returned buffer's own data
    EXPECT_FALSE(in_->DeviceOpen());
    EXPECT_FALSE(in_->Capturing());
    EXPECT_FALSE(in_->Recording());
    EXPECT_EQ(vi::OpenCaptures(), 0);
    RecordBuffer(9);
    EXPECT_EQ(firstBytes_.size(), 2u);

    // Closed: it may be opened again, with a new callback object.
    ASSERT_TRUE(in_->StartCapture());
    RecordBuffer(10);
    EXPECT_EQ(firstBytes_.back(), 10);
}

TEST_F(LevelCaptureTest, NoEventAfterStopWhenDrained) {
    ConfigureAsWindow();
    ASSERT_TRUE(in_->StartCapture());
    RecordBuffer(1);
    in_->StopWhenDrained();
    EXPECT_TRUE(in_->DeviceOpen());
    RecordBuffer(2);
    EXPECT_TRUE(in_->DeviceOpen());
    RecordBuffer(3);
    EXPECT_EQ(firstBytes_, (std::vector<char>{1}));
    EXPECT_FALSE(in_->DeviceOpen());
    EXPECT_EQ(vi::OpenCaptures(), 0);
}

TEST_F(LevelCaptureTest, StopNowClosesAtOnceAndDropsTheReturnedBuffers) {
    ConfigureAsWindow();
    ASSERT_TRUE(in_->StartCapture());
    in_->StopNow();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(in_->DeviceOpen());
    EXPECT_FALSE(in_->Capturing());
    EXPECT_TRUE(firstBytes_.empty());
    EXPECT_EQ(vi::OpenCaptures(), 0);
}

TEST_F(LevelCaptureTest, FailuresLeaveTextsAndReturnFalse) {
    ConfigureAsWindow();
    vi::FailNextOpen("The sound input is busy.");
    EXPECT_FALSE(in_->StartCapture());
    EXPECT_EQ(in_->LastErrorText(), "The sound input is busy.");
    EXPECT_FALSE(in_->DeviceOpen());

    vi::FailNextStart("The sound input could not start.");
    EXPECT_FALSE(in_->StartCapture());
    EXPECT_EQ(in_->LastErrorText(), "Error starting wave record: The sound input could not start.");
    EXPECT_FALSE(in_->DeviceOpen());
    EXPECT_EQ(vi::OpenCaptures(), 0);

    in_->SetFrameRate(0); // the capture refuses the format
    EXPECT_FALSE(in_->StartCapture());
    EXPECT_NE(in_->LastErrorText().find("format"), std::string::npos) << in_->LastErrorText();
    EXPECT_FALSE(in_->DeviceOpen());

    // After every failure a good configuration opens and records.
    in_->SetFrameRate(44100);
    ASSERT_TRUE(in_->StartCapture()) << in_->LastErrorText();
    RecordBuffer(4);
    EXPECT_EQ(firstBytes_, (std::vector<char>{4}));
}

TEST_F(LevelCaptureTest, MoreBuffersAfterASizeChangeGetMemory) {
    ConfigureAsWindow();      // 2 slots in use
    in_->SetBufferSize(1024); // reallocates those 2 only
    in_->SetNumBuffers(4);
    ASSERT_TRUE(in_->StartCapture()) << in_->LastErrorText();
    EXPECT_EQ(in_->QueuedCount(), 4);
    for (char v : {1, 2, 3, 4, 5, 6})
        RecordBuffer(v);
    EXPECT_EQ(firstBytes_, (std::vector<char>{1, 2, 3, 4, 5, 6}));
}

TEST_F(LevelCaptureTest, DestroyingWhileOpenClosesTheDevice) {
    ConfigureAsWindow();
    ASSERT_TRUE(in_->StartCapture());
    EXPECT_EQ(vi::OpenCaptures(), 1);
    in_.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(vi::OpenCaptures(), 0);
}

TEST_F(LevelCaptureTest, StartAndStopEventsComeFromTheCallbackObject) {
    ConfigureAsWindow();
    std::vector<QObject*> started, stopped;
    in_->OnStart = [&](QObject* sender) { started.push_back(sender); };
    in_->OnStop = [&](QObject* sender) { stopped.push_back(sender); };
    ASSERT_TRUE(in_->StartCapture());
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NE(started[0], in_.get());
    in_->StopNow();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0], started[0]);
}

} // namespace
