#pragma once

#include "platform/capture/CaptureFormat.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class AudioCapture;

enum class ChannelMode { Mono, Stereo };
enum class SampleDepth { _8, _16 };

// The recorder's format, buffers and ring indices.
class BroadcastFormat {
public:
    static constexpr int kRingSize = 4;

    explicit BroadcastFormat(AudioCapture& owner);
    virtual ~BroadcastFormat();
    BroadcastFormat(const BroadcastFormat&) = delete;
    BroadcastFormat& operator=(const BroadcastFormat&) = delete;

    ChannelMode channels() const { return channels_; }
    SampleDepth bitsPerSample() const { return bitsPerSample_; }
    std::uint16_t sampleRate() const { return sampleRate_; }
    void setChannels(ChannelMode value);
    void setBitsPerSample(SampleDepth value);
    void setSampleRate(std::uint16_t value);

    // Sets the format record and allocates the four buffers (with their right-
    // channel halves) for it; false with the owner's ErrorText on failure.
    bool allocBuffers();
    void freeBuffers();

    AudioCapture& Owner;
    std::array<char*, kRingSize> Buffers{};
    std::array<char*, kRingSize> RightBuffers{};
    int DoneIndex = 0;               // the next buffer to fill (capture thread)
    bool isOpen = false;             // the device is open (main thread)
    std::atomic<bool> active{false}; // deliveries are taken (both threads)
    audio::CaptureFormat Format;
    std::uint16_t BufferSize = 0;

protected:
    friend class AudioCapture;
    friend class CaptureRecorder;
    // Stores the value and reallocates, when it differs from this object's own.
    void applyChannels(ChannelMode value);
    void applyBitsPerSample(SampleDepth value);
    void applySampleRate(std::uint16_t value);
    void applyNoSamples(std::uint16_t value);
    void reallocate();
    template <typename Value> void storeAndReallocate(Value& field, Value value) {
        if (value == field)
            return;
        field = value;
        reallocate();
    }

    ChannelMode channels_ = ChannelMode::Mono;
    SampleDepth bitsPerSample_ = SampleDepth::_8;
    std::uint16_t sampleRate_ = 11025;
    std::uint16_t noSamples_ = 8192;
};
