#pragma once

#include <cstddef>

namespace audio {

enum class SampleType { UInt8, Int16 }; // unsigned 8-bit or signed 16-bit little-endian

// The PCM format a capture records in: interleaved frames of `channels`
// samples at `rate` frames per second.
struct CaptureFormat {
    int rate = 22050;
    int channels = 1;
    SampleType sampleType = SampleType::Int16;

    int bytesPerSample() const { return sampleType == SampleType::UInt8 ? 1 : 2; }
    int bytesPerFrame() const { return channels * bytesPerSample(); }
    int bytesPerSecond() const { return rate * bytesPerFrame(); }
    // Mono or stereo at a positive rate: what every back end records.
    bool valid() const { return rate > 0 && (channels == 1 || channels == 2); }
};

} // namespace audio
