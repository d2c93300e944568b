#pragma once

#include "platform/audio/StereoFrame.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace audio {

// A decoder of one track file to the engine's output format (44.1 kHz stereo
// float), whatever its format. Open throws MediaError with a plain text; the
// length is exact once Open returns. Not thread-safe: one thread at a time.
// The longest an open (with its scan for the exact length) may take. A file
// that needs longer (a huge preallocated file of zeros, a damaged header
// that sends the demuxer hunting through gigabytes) is refused, so that a
// deck never sits silent behind it. A ten-minute 320 kbps MP3 scans in well
// under 0.1 s here; a three-hour mix in under 2 s.
inline constexpr std::chrono::seconds kOpenDeadline{5};

class TrackDecoder {
public:
    virtual ~TrackDecoder() = default;
    // cancel, when given and set, may stop a long open early (MediaError);
    // an open that outlasts kOpenDeadline fails the same way.
    virtual void open(const std::string& path, const std::atomic<bool>* cancel = nullptr) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual std::int64_t lengthFrames() const = 0;
    virtual std::size_t decode(StereoFrame* dst, std::size_t maxFrames) = 0;
    virtual bool finished() const = 0;
};

// Whether the caller needs the exact length before decoding: a deck does
// (its time display, seeking); a caller that reads the track once from start
// to end does not, and an MP3 then opens without scanning the whole file.
enum class TrackLength { Exact, NotNeeded };

// The decoder for this file's name: mpg123 for ".mp3", FFmpeg's libraries for
// every other extension. Endings are compared without regard to case.
std::unique_ptr<TrackDecoder> makeTrackDecoder(const std::string& path,
                                               TrackLength length = TrackLength::Exact);

// Whether the file's extension is one of the sound formats the decks play
// (mp3, flac, ogg, oga, opus, wav, aif, aiff, m4a, aac), in any case.
bool isPlayableExtension(const std::string& path);

// Whether the file's extension is ".mp3", in any case.
bool isMp3Extension(const std::string& path);

} // namespace audio
