#include "platform/capture/InputCapture.h"
#include "platform/capture/VirtualInput.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vi = audio::virtual_input;

namespace {

class InputCaptureOnVirtualInput : public ::testing::Test {
protected:
    void SetUp() override {
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        vi::resetState();
    }
    void TearDown() override {
        capture_.reset();
        EXPECT_EQ(vi::openCaptures(), 0);
    }
    audio::Status open(std::size_t blockBytes, audio::CaptureFormat format = stereo16()) {
        return audio::openInputCapture(
            audio::InputCapture::kDefaultDevice, format, blockBytes,
            [this](std::span<const char> b) { blocks_.emplace_back(b.begin(), b.end()); },
            capture_);
    }
    static audio::CaptureFormat stereo16() { return {44100, 2, audio::SampleType::Int16}; }
    static std::int16_t sampleAt(const std::vector<char>& block, std::size_t index) {
        std::int16_t s;
        std::memcpy(&s, block.data() + 2 * index, 2);
        return s;
    }
    std::unique_ptr<audio::InputCapture> capture_;
    std::vector<std::vector<char>> blocks_;
};

TEST_F(InputCaptureOnVirtualInput, BlocksAreWholeInOrderAndContinuous) {
    ASSERT_TRUE(open(402)); // rounded down to whole 4-byte frames
    EXPECT_EQ(capture_->blockBytes(), 400u);
    std::vector<std::int16_t> ramp(600);
    for (int i = 0; i < 600; ++i)
        ramp[std::size_t(i)] = std::int16_t(i);
    vi::setSamples(ramp, 2);
    vi::advance(50); // before start: lost
    EXPECT_TRUE(blocks_.empty());
    ASSERT_TRUE(capture_->start());
    EXPECT_TRUE(capture_->start()) << "starting a running capture is harmless";
    vi::advance(250); // 1000 bytes: two blocks and half of a third
    ASSERT_EQ(blocks_.size(), 2u);
    EXPECT_EQ(sampleAt(blocks_[1], 0), sampleAt(blocks_[0], 199) + 1)
        << "the samples continue across the block boundary";

    capture_->stop(); // the partial block is dropped, nothing arrives any more
    EXPECT_FALSE(capture_->running());
    vi::advance(500);
    EXPECT_EQ(blocks_.size(), 2u);
    ASSERT_TRUE(capture_->start()); // a restart begins a fresh block
    vi::advance(100);
    ASSERT_EQ(blocks_.size(), 3u);
}

TEST_F(InputCaptureOnVirtualInput, EightBitToneIsCentredOn128) {
    ASSERT_TRUE(open(64, {8000, 1, audio::SampleType::UInt8}));
    ASSERT_TRUE(capture_->start());
    vi::setTone(1000, 1.0);
    vi::advance(64);
    ASSERT_EQ(blocks_.size(), 1u);
    EXPECT_EQ(std::uint8_t(blocks_[0][0]), 128);
    EXPECT_GT(std::uint8_t(blocks_[0][2]), 250); // a quarter period in: the crest
}

TEST_F(InputCaptureOnVirtualInput, FailuresAreValuesWithTheirReason) {
    EXPECT_EQ(audio::inputDeviceCount(), 1);
    const audio::Status badFormat = open(400, {44100, 3, audio::SampleType::Int16});
    EXPECT_FALSE(badFormat.ok());
    EXPECT_NE(badFormat.error().find("format"), std::string::npos) << badFormat.error();
    EXPECT_FALSE(open(400, {0, 2, audio::SampleType::Int16}));
    EXPECT_EQ(capture_, nullptr);

    const audio::Status noDevice = audio::openInputCapture(3, stereo16(), 400, {}, capture_);
    EXPECT_FALSE(noDevice);
    EXPECT_EQ(capture_, nullptr);

    vi::failNextOpen("busy");
    EXPECT_EQ(open(400).error(), "busy");
    EXPECT_EQ(vi::openCaptures(), 0);

    ASSERT_TRUE(open(400));
    vi::failNextStart("gone");
    const audio::Status started = capture_->start();
    EXPECT_EQ(started.error(), "gone");
    EXPECT_FALSE(capture_->running());
    vi::advance(200);
    EXPECT_TRUE(blocks_.empty());
}

} // namespace
