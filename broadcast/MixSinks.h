#pragma once

#include "broadcast/BroadcastMix.h"

#include <atomic>
#include <functional>
#include <vector>

// The mix in the relay's wire format: 22050 Hz, signed 16-bit little-endian
// stereo, in blocks of kBlockBytes (8192 frames), each handed whole to
// `block` on the mix thread. Halving the rate first low-passes the mix
// (1/4, 1/2, 1/4), so what lies above the new Nyquist frequency is damped
// rather than folded down into the audible range.
class RelayFeed : public MixSink {
public:
    static constexpr int kRate = BroadcastMix::kRate / 2;
    static constexpr std::size_t kBlockBytes = 32768;
    using BlockOut = std::function<void(const char* bytes, std::size_t size)>;

    explicit RelayFeed(BlockOut block);
    void write(const audio::StereoFrame* frames, std::size_t count) override;

private:
    BlockOut block_;
    audio::StereoFrame previous_{0, 0};
    bool odd_ = false; // the next input frame is the second of a pair
    audio::StereoFrame held_{0, 0};
    std::vector<char> filling_;
};

// Dead air: the mix below kFloorDb for kLimitMs while a deck plays. Measured
// in 100 ms windows on the mix thread; `found` runs there once per stretch
// (the count starts again after it), and silent() says whether the latest
// windows were silent, for a status that must never claim to be on air then.
class DeadAirWatch : public MixSink {
public:
    static constexpr double kFloorDb = -50.0;
    static constexpr int kLimitMs = 5000;
    static constexpr int kWindowMs = 100;

    DeadAirWatch(std::function<bool()> deckPlaying, std::function<void()> found);
    void write(const audio::StereoFrame* frames, std::size_t count) override;
    bool silent() const { return silent_.load(std::memory_order_relaxed); }

private:
    std::function<bool()> deckPlaying_;
    std::function<void()> found_;
    double sumSquares_ = 0;
    std::size_t windowFilled_ = 0;
    int silentMs_ = 0;
    std::atomic<bool> silent_{false};
};
