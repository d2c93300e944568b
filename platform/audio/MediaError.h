#pragma once

#include <stdexcept>

namespace audio {

// A deck operation that failed: opening a file no device can play, or
// playing, stopping or asking the time of a deck that is not open. The text
// says what went wrong in plain English.
class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace audio
