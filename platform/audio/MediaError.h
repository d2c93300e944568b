#pragma once

#include <stdexcept>
#include <string>

namespace audio {

// Why a file cannot be played, for the playlist's mark and its tooltip.
enum class MediaFault {
    Other,
    Missing, // no such file, or not a file at all
    NotMp3,  // holds something else, e.g. a WAV renamed to .mp3
    Damaged, // empty, or no MPEG audio could be found in it
};

// A deck operation that failed: opening a file no device can play, or
// playing, stopping or asking the time of a deck that is not open. The text
// says what went wrong in plain English.
class MediaError : public std::runtime_error {
public:
    explicit MediaError(const std::string& text, MediaFault fault = MediaFault::Other)
        : std::runtime_error(text)
        , fault_(fault) {}
    MediaFault fault() const { return fault_; }

private:
    MediaFault fault_;
};

} // namespace audio
