#pragma once

#include <atomic>
#include <cstdint>

namespace audio {

// Every moment the listener heard silence that should have been sound, over
// the whole run: the device reported that it ran dry (PortAudio's output
// underflow), or a playing deck had no decoded frames ready before its end
// and the mix filled its share with silence. Lock-free, so the sound
// callback may count.
inline std::atomic<std::uint64_t> gUnderruns{0};

inline void countUnderrun() noexcept {
    gUnderruns.fetch_add(1, std::memory_order_relaxed);
}

inline std::uint64_t underrunCount() noexcept {
    return gUnderruns.load(std::memory_order_relaxed);
}

} // namespace audio
