#include "broadcast/MixSinks.h"

#include <algorithm>
#include <cmath>

using audio::StereoFrame;

namespace {
std::int16_t toInt16(float x) {
    return std::int16_t(std::lrint(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
}
} // namespace

RelayFeed::RelayFeed(BlockOut block)
    : block_(std::move(block)) {
    filling_.reserve(kBlockBytes);
}

void RelayFeed::write(const StereoFrame* frames, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const StereoFrame x = frames[i];
        if (!odd_) {
            held_ = x;
            odd_ = true;
            continue;
        }
        odd_ = false;
        // Centred on the pair's first frame: previous odd frame, it, this one.
        const float l = 0.25f * previous_.left + 0.5f * held_.left + 0.25f * x.left;
        const float r = 0.25f * previous_.right + 0.5f * held_.right + 0.25f * x.right;
        previous_ = x;
        for (const std::int16_t s : {toInt16(l), toInt16(r)}) {
            filling_.push_back(char(s & 0xFF));
            filling_.push_back(char((s >> 8) & 0xFF));
        }
        if (filling_.size() == kBlockBytes) {
            block_(filling_.data(), filling_.size());
            filling_.clear();
        }
    }
}

DeadAirWatch::DeadAirWatch(std::function<bool()> deckPlaying, std::function<void()> found)
    : deckPlaying_(std::move(deckPlaying))
    , found_(std::move(found)) {}

void DeadAirWatch::write(const StereoFrame* frames, std::size_t count) {
    constexpr std::size_t kWindow = std::size_t(BroadcastMix::kRate) * kWindowMs / 1000;
    const double floor = std::pow(10.0, kFloorDb / 20.0);
    for (std::size_t i = 0; i < count; ++i) {
        sumSquares_ += 0.5 * (double(frames[i].left) * frames[i].left +
                              double(frames[i].right) * frames[i].right);
        if (++windowFilled_ < kWindow)
            continue;
        const bool quiet = std::sqrt(sumSquares_ / double(kWindow)) < floor;
        sumSquares_ = 0;
        windowFilled_ = 0;
        silent_.store(quiet, std::memory_order_relaxed);
        silentMs_ = quiet && deckPlaying_() ? silentMs_ + kWindowMs : 0;
        if (silentMs_ >= kLimitMs) {
            silentMs_ = 0;
            found_();
        }
    }
}
