#include "platform/audio/VirtualSoundCard.h"

#include <algorithm>
#include <utility>

namespace audio {

void VirtualSoundCard::Render(int ms) {
    if (ms <= 0)
        return;
    clockMs_ += ms;
    const std::int64_t target = clockMs_ * kOutputRate / 1000;
    if (target > clockFrames_)
        RenderFrames(static_cast<std::size_t>(target - clockFrames_));
}

void VirtualSoundCard::RenderFrames(std::size_t frames) {
    while (frames > 0) {
        const std::size_t n = std::min(frames, kChunkFrames);
        // Open decks decode ahead, as on the real clock: a deck cued to start
        // inside this chunk has its first frames ready.
        for (int i = 0; i < kMaxDecks; ++i) {
            if (Channel(i).IsOpen())
                Channel(i).Refill(n);
        }
        MixOutput(chunk_.data(), n);
        if (capture_)
            captured_.insert(captured_.end(), chunk_.begin(), chunk_.begin() + n);
        clockFrames_ += static_cast<std::int64_t>(n);
        frames -= n;
    }
    DeliverEndNotices();
}

std::vector<StereoFrame> VirtualSoundCard::TakeCaptured() {
    return std::exchange(captured_, {});
}

} // namespace audio
