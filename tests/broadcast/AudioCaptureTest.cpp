#include "broadcast/AudioCapture.h"
#include "platform/capture/VirtualInput.h"
#include "platform/mixer/VirtualMixer.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vi = audio::virtual_input;

namespace {

struct Delivery {
    std::vector<char> left, right;
    bool hadRight = false;
};

class CaptureEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        vi::resetState();
        mixer::declareStandardLines(mixers_);
        audio_ = std::make_unique<AudioCapture>(mixers_);
        audio_->OnRecord = [this](CaptureRecorder&, char* lp, char* rp, std::uint16_t n) {
            Delivery d;
            d.left.assign(lp, lp + n);
            d.hadRight = rp != nullptr;
            if (rp)
                d.right.assign(rp, rp + n);
            deliveries_.push_back(std::move(d));
        };
    }
    void TearDown() override {
        audio_.reset();
        EXPECT_EQ(vi::openCaptures(), 0);
    }
    // 16-bit stereo, as the broadcast uses it.
    void stereo16() {
        audio_->recorder().setBitsPerSample(SampleDepth::_16);
        audio_->recorder().setChannels(ChannelMode::Stereo);
    }
    // One block of 16-bit samples, left = base + frame, right = -(base + frame).
    std::vector<char> block16(int base) {
        const int frames = audio_->recorder().noSamples();
        std::vector<std::int16_t> s;
        for (int i = 0; i < frames; ++i) {
            s.push_back(std::int16_t(base + i));
            s.push_back(std::int16_t(-(base + i)));
        }
        std::vector<char> bytes(s.size() * 2);
        std::memcpy(bytes.data(), s.data(), bytes.size());
        return bytes;
    }
    void feed(const std::vector<char>& bytes) { vi::feed(bytes.data(), bytes.size()); }

    mixer::VirtualMixerSystem mixers_;
    std::unique_ptr<AudioCapture> audio_;
    std::vector<Delivery> deliveries_;
};

TEST_F(CaptureEngine, CreationDefaultsAndFormatRecords) {
    CaptureRecorder& r = audio_->recorder();
    EXPECT_EQ(audio_->audioDeviceID(), -1);
    EXPECT_EQ(audio_->errorText, "");
    EXPECT_TRUE(audio_->mixerSettings().ok());
    ASSERT_NE(audio_->mixerSettings().lines(), nullptr);
    EXPECT_EQ(audio_->mixerSettings().lines()->name, "Virtual Mixer");
    EXPECT_EQ(r.BufferSize, 8192);
    EXPECT_EQ(r.Format.bytesPerSecond(), 11025);
    EXPECT_EQ(r.Format.bytesPerFrame(), 1);
    EXPECT_TRUE(r.triggered());
    EXPECT_EQ(r.trigLevel(), 128);

    r.setBitsPerSample(SampleDepth::_16);
    r.setChannels(ChannelMode::Stereo);
    r.setSampleRate(44100);
    EXPECT_EQ(r.BufferSize, 32768);
    EXPECT_EQ(r.Format.bytesPerSecond(), 176400);
    EXPECT_EQ(r.Format.bytesPerFrame(), 4);
    EXPECT_EQ(r.Format.sampleType, audio::SampleType::Int16);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(r.Buffers[i], nullptr);
    r.setNoSamples(4096);
    EXPECT_EQ(r.BufferSize, 16384);
}

TEST_F(CaptureEngine, SplitRuleAndDeviceId) {
    CaptureRecorder& r = audio_->recorder();
    r.setSplitChannels(true);
    EXPECT_FALSE(r.splitChannels()); // mono
    r.setChannels(ChannelMode::Stereo);
    r.setSplitChannels(true);
    EXPECT_TRUE(r.splitChannels());
    r.setChannels(ChannelMode::Mono);
    EXPECT_FALSE(r.splitChannels());

    audio_->setAudioDeviceID(10);
    EXPECT_EQ(audio_->audioDeviceID(), -1);
    audio_->setAudioDeviceID(3);
    EXPECT_EQ(audio_->audioDeviceID(), 3);
    audio_->setAudioDeviceID(9);
    EXPECT_EQ(audio_->audioDeviceID(), 9);
}

TEST_F(CaptureEngine, BlocksArriveInOrderRoundTheRing) {
    stereo16();
    CaptureRecorder& r = audio_->recorder();
    ASSERT_TRUE(r.start()) << audio_->errorText;
    EXPECT_TRUE(r.isOpen);
    EXPECT_TRUE(r.active);
    // More blocks than the ring holds: each buffer is free again once
    // delivered, so none is lost.
    for (int b = 0; b < 9; ++b)
        feed(block16(b * 10));
    ASSERT_EQ(deliveries_.size(), 9u);
    for (int b = 0; b < 9; ++b) {
        EXPECT_EQ(deliveries_[b].left, block16(b * 10)) << b;
        EXPECT_FALSE(deliveries_[b].hadRight);
    }
    EXPECT_EQ(r.DoneIndex, 1);

    EXPECT_TRUE(r.stop());
    EXPECT_FALSE(r.isOpen);
    EXPECT_FALSE(r.active);
    EXPECT_EQ(vi::openCaptures(), 0);
    EXPECT_EQ(deliveries_.size(), 9u);
}

TEST_F(CaptureEngine, TriggerHoldsBackQuietBlocks) {
    stereo16();
    CaptureRecorder& r = audio_->recorder();
    r.setTriggered(false);
    r.setTrigLevel(1000);
    ASSERT_TRUE(r.start());
    const std::vector<std::int16_t> quietSamples(std::size_t(r.BufferSize / 2), 999);
    std::vector<char> quiet(r.BufferSize);
    std::memcpy(quiet.data(), quietSamples.data(), quiet.size());
    for (int b = 0; b < 6; ++b)
        feed(quiet);
    EXPECT_TRUE(deliveries_.empty());
    EXPECT_FALSE(r.triggered());
    std::vector<char> loud = quiet;
    const std::int16_t thousand = 1000;
    std::memcpy(loud.data() + 4002, &thousand, 2);
    feed(loud);
    feed(quiet); // quiet again, but the recorder stays triggered
    ASSERT_EQ(deliveries_.size(), 2u);
    EXPECT_EQ(deliveries_[0].left, loud);
    EXPECT_EQ(deliveries_[1].left, quiet);
    EXPECT_TRUE(r.triggered());
}

TEST_F(CaptureEngine, TriggerLevelZeroFiresOnTheFirstNonNegativeSample) {
    audio_->recorder().setBitsPerSample(SampleDepth::_16);
    CaptureRecorder& r = audio_->recorder();
    r.setTriggered(false);
    r.setTrigLevel(0);
    std::vector<std::int16_t> negative(8, -5);
    EXPECT_FALSE(r.checkTrigger(reinterpret_cast<const char*>(negative.data()), 16));
    EXPECT_FALSE(r.checkTrigger(nullptr, 0));
    negative[7] = 0;
    EXPECT_TRUE(r.checkTrigger(reinterpret_cast<const char*>(negative.data()), 16));
}

TEST_F(CaptureEngine, SplitGivesLeftAndRightHalves) {
    stereo16();
    CaptureRecorder& r = audio_->recorder();
    r.setSplitChannels(true);
    ASSERT_TRUE(r.start());
    feed(block16(100));
    ASSERT_EQ(deliveries_.size(), 1u);
    const Delivery& d = deliveries_[0];
    ASSERT_TRUE(d.hadRight);
    ASSERT_EQ(d.left.size(), 16384u);
    ASSERT_EQ(d.right.size(), 16384u);
    std::vector<std::int16_t> left(8192), right(8192);
    std::memcpy(left.data(), d.left.data(), 16384);
    std::memcpy(right.data(), d.right.data(), 16384);
    for (int i = 0; i < 8192; ++i) {
        ASSERT_EQ(left[i], std::int16_t(100 + i)) << i;
        ASSERT_EQ(right[i], std::int16_t(-(100 + i))) << i;
    }
}

TEST_F(CaptureEngine, SplitOfEightBitStereo) {
    audio_->recorder().setChannels(ChannelMode::Stereo);
    CaptureRecorder& r = audio_->recorder();
    char lp[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    char rp[4] = {};
    r.splitStereo(lp, rp, 8);
    EXPECT_EQ(std::vector<char>(lp, lp + 4), (std::vector<char>{1, 3, 5, 7}));
    EXPECT_EQ(std::vector<char>(rp, rp + 4), (std::vector<char>{2, 4, 6, 8}));
}

TEST_F(CaptureEngine, ErrorTexts) {
    CaptureRecorder& r = audio_->recorder();
    EXPECT_TRUE(r.stop());
    EXPECT_EQ(audio_->errorText, "Recorder already closed");

    vi::failNextOpen("The sound input is busy.");
    EXPECT_FALSE(r.start());
    EXPECT_EQ(audio_->errorText,
              "Could not open the input device for recording:  The sound input is busy.");
    EXPECT_FALSE(r.isOpen);

    vi::failNextStart("gone");
    EXPECT_FALSE(r.start());
    EXPECT_EQ(audio_->errorText, "Error starting wave record:  gone");
    EXPECT_FALSE(r.isOpen);
    EXPECT_EQ(vi::openCaptures(), 0);
}

// 16384 stereo 16-bit frames do not fit the 16-bit buffer size: it wraps to
// 0, and the recorder refuses to start rather than record into nothing.
TEST_F(CaptureEngine, StartFailsWhenTheBufferSizeWrapsToZero) {
    stereo16();
    audio_->recorder().setNoSamples(16384);
    ASSERT_EQ(audio_->recorder().BufferSize, 0);
    EXPECT_FALSE(audio_->recorder().start());
    EXPECT_EQ(audio_->errorText, "Error adding next input buffer");
    EXPECT_FALSE(audio_->recorder().isOpen);
    EXPECT_EQ(vi::openCaptures(), 0);
}

TEST_F(CaptureEngine, DestructionClosesAnOpenRecorder) {
    stereo16();
    ASSERT_TRUE(audio_->recorder().start());
    EXPECT_EQ(vi::openCaptures(), 1);
    const std::vector<char> block = block16(0);
    audio_.reset();
    EXPECT_EQ(vi::openCaptures(), 0);
    feed(block); // nothing left to write into
    EXPECT_TRUE(deliveries_.empty());
}

} // namespace
