#pragma once

#include "platform/audio/MediaError.h"

#include <chrono>
#include <string>

namespace audio {

// What a deck's load on the engine's loader came to: "loaded" with the exact
// length, or "cannot play" with the reason. took is the time from the request
// to the answer reaching the main thread.
struct LoadResult {
    bool loaded = false;
    int lengthMs = 0;
    std::string error;
    MediaFault fault = MediaFault::Other;
    std::chrono::milliseconds took{0};
};

} // namespace audio
