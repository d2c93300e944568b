#include "platform/audio/AudioEngine.h"

#include "platform/audio/MediaError.h"
#include "platform/audio/TMediaPlayer.h"

#include <algorithm>

namespace audio {

void AudioEngine::MixOutput(StereoFrame* out, std::size_t frames) {
    std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
    for (auto& channel : channels_)
        channel.MixInto(out, frames);
    for (std::size_t i = 0; i < frames; ++i) {
        out[i].left = std::clamp(out[i].left, -1.0f, 1.0f);
        out[i].right = std::clamp(out[i].right, -1.0f, 1.0f);
    }
}

DeckChannel& AudioEngine::AttachPlayer(TMediaPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (!players_[i]) {
            players_[i] = &player;
            return channels_[i];
        }
    }
    throw MediaError("No free deck in the audio engine");
}

void AudioEngine::DetachPlayer(TMediaPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (players_[i] == &player) {
            channels_[i].Close();
            players_[i] = nullptr;
        }
    }
}

bool AudioEngine::HasPendingEndNotices() const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [](const DeckChannel& c) { return c.HasEndNotices(); });
}

void AudioEngine::DeliverEndNotices() {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (channels_[i].TakeEndNotices() > 0 && players_[i])
            players_[i]->NotifyEnd();
    }
}

} // namespace audio
