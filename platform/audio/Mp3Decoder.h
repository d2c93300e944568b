#pragma once

#include "platform/audio/MediaError.h"
#include "platform/audio/StereoFrame.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct mpg123_handle_struct;

namespace audio {

// One MP3 file decoded by libmpg123 to the engine's output format (44.1 kHz
// stereo float): mono is doubled and other rates are resampled by the
// library. Opening scans the whole file, so the length is exact (encoder
// delay and padding removed when the file says how much). Not thread-safe:
// one thread at a time. Opening reads the whole file: do it on a worker.
// A decoder made without exactLength skips that scan (a tenth of a full
// decode) for a caller that reads the track once, start to end: its length
// is then the library's estimate.
class Mp3Decoder {
public:
    explicit Mp3Decoder(bool exactLength = true);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Throws MediaError with a plain text and its fault when the file is
    // missing, empty, a RIFF (WAV) file, or holds no MPEG audio. Closes any
    // file open before. A named pipe is read to its end first; setting
    // *cancel makes that give up within a tenth of a second.
    void open(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    void close();
    bool isOpen() const { return open_; }

    // Length in output frames, known once Open returns (see exactLength).
    std::int64_t lengthFrames() const { return lengthFrames_; }

    // Decodes up to maxFrames frames into dst and returns how many it wrote.
    // After the last frame (or a broken stream) Finished() turns true.
    std::size_t decode(StereoFrame* dst, std::size_t maxFrames);
    bool finished() const { return finished_; }

private:
    [[noreturn]] void fail(const std::string& text, MediaFault fault);

    mpg123_handle_struct* handle_ = nullptr;
    int memoryFd_ = -1; // a pipe's bytes, copied
    bool exactLength_ = true;
    bool open_ = false;
    bool finished_ = false;
    std::int64_t lengthFrames_ = 0;
};

} // namespace audio
