#pragma once

#include "platform/audio/SpscRing.h"
#include "platform/audio/StereoFrame.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace audio {

// A copy of the engine's final mix, sample for sample what the output plays,
// for one reader on another thread (the broadcast). The output callback
// writes into a ring allocated once; it never waits: when the reader falls
// behind by more than the ring holds, the newest frames are dropped and
// counted. Frames arrive only while the output pulls the mix: a server output
// pulls ahead of what is heard (up to its buffer, in bursts) and rests while
// no deck plays, so a reader paces itself by its own clock and treats a dry
// tap as silence.
class MixTap {
public:
    static constexpr std::size_t kRingFrames = 1 << 18; // ~5.9 s at 44.1 kHz

    MixTap()
        : ring_(kRingFrames) {}

    // Reader: starts (after dropping what an earlier reader left) or stops
    // the copying.
    void start() {
        ring_.commitRead(ring_.readable());
        dropped_.store(0, std::memory_order_relaxed);
        enabled_.store(true, std::memory_order_release);
    }
    void stop() { enabled_.store(false, std::memory_order_release); }
    bool isEnabled() const { return enabled_.load(std::memory_order_acquire); }

    // Reader: copies up to frames of the mix into out; returns how many.
    std::size_t read(StereoFrame* out, std::size_t frames) { return ring_.pop(out, frames); }
    std::size_t readable() const { return ring_.readable(); }
    // Frames the reader lost because it fell behind.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Output callback: appends the mix when a reader is attached.
    void write(const StereoFrame* in, std::size_t frames) {
        if (!enabled_.load(std::memory_order_acquire))
            return;
        if (const std::size_t done = ring_.push(in, frames); done < frames)
            dropped_.fetch_add(frames - done, std::memory_order_relaxed);
    }

private:
    SpscRing<StereoFrame> ring_;
    std::atomic<bool> enabled_{false};
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace audio
