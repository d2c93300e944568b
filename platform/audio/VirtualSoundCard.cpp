#include "platform/audio/VirtualSoundCard.h"

#include <algorithm>
#include <utility>

namespace audio {

void VirtualSoundCard::render(int ms) {
    if (ms <= 0)
        return;
    clockMs_ += ms;
    const std::int64_t target = clockMs_ * kOutputRate / 1000;
    if (target > clockFrames_)
        renderFrames(static_cast<std::size_t>(target - clockFrames_));
}

void VirtualSoundCard::renderFrames(std::size_t frames) {
    while (frames > 0) {
        const std::size_t n = std::min(frames, kChunkFrames);
        // Open decks decode ahead, as on the real clock: a deck cued to start
        // inside this chunk has its first frames ready.
        for (int i = 0; i < kMaxDecks; ++i) {
            if (channel(i).isOpen())
                channel(i).refill(n);
        }
        mixOutput(chunk_.data(), n);
        if (capture_)
            captured_.insert(captured_.end(), chunk_.begin(), chunk_.begin() + n);
        clockFrames_ += static_cast<std::int64_t>(n);
        frames -= n;
    }
    deliverEndNotices();
}

std::vector<StereoFrame> VirtualSoundCard::takeCaptured() {
    return std::exchange(captured_, {});
}

} // namespace audio
