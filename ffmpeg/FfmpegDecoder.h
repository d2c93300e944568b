#pragma once

#include "platform/audio/StereoFrame.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audio {

// One file of any format FFmpeg's libraries read (FLAC, Ogg Vorbis, Opus,
// WAV, AIFF, M4A/AAC) decoded to the engine's output format (44.1 kHz stereo
// float) through libswresample: mono is doubled, more channels are mixed
// down, other rates are resampled. Same contract as Mp3Decoder.
//
// Length: taken from the container where it states the sample count
// (FLAC STREAMINFO, WAV/AIFF data size, the Ogg end granule less Opus's
// pre-skip, the MP4 edit list without the AAC priming and padding),
// converted to output frames; where the container states none or only
// guesses it from the bit rate (raw AAC), Open decodes the whole file once
// to count (raw AAC then counts the encoder's priming and padding too). Decode delivers exactly
// that many frames (a FLAC whose header states more samples than its last
// frame reaches gets the length of its frames): codec padding past the stated end is cut, a few
// frames of resampler rounding short of it are filled with silence; a file that breaks off early
// ends early. Not thread-safe: one thread at a time.
class FfmpegDecoder {
public:
    FfmpegDecoder();
    ~FfmpegDecoder();
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    // Throws MediaError with a plain text when the file is missing, empty, of
    // a format no decoder reads, or damaged so that no sound can be decoded
    // from its start, and when the open is cancelled or outlasts
    // kOpenDeadline. Closes any file open before.
    void open(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    void close();
    bool isOpen() const { return state_ != nullptr; }

    // Length in output frames, known once Open returns.
    std::int64_t lengthFrames() const { return lengthFrames_; }

    // Decodes up to maxFrames frames into dst and returns how many it wrote.
    // After the last frame (or a stream that breaks off) Finished() turns true.
    std::size_t decode(StereoFrame* dst, std::size_t maxFrames);
    bool finished() const { return finished_; }

private:
    struct State;
    [[noreturn]] void fail(const std::string& text);

    std::unique_ptr<State> state_;
    bool finished_ = false;
    std::int64_t lengthFrames_ = 0;
    std::int64_t delivered_ = 0;
};

} // namespace audio
