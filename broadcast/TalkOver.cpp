#include "broadcast/TalkOver.h"

#include <algorithm>
#include <cmath>

TalkOver::TalkOver(const DuckingSettings& settings, int rate)
    : settings_(settings)
    , threshold_(float(std::pow(10.0, settings.thresholdDb / 20.0)))
    , attackStep_(settings.duckDb / std::max(1.0, settings.attackMs * rate / 1000.0))
    , releaseStep_(settings.duckDb / std::max(1.0, settings.releaseMs * rate / 1000.0))
    , holdFrames_(long(settings.holdMs) * rate / 1000) {}

void TalkOver::mix(const audio::StereoFrame* decks, const audio::StereoFrame* mic,
                   audio::StereoFrame* out, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::max(std::fabs(mic[i].left), std::fabs(mic[i].right)) >= threshold_)
            holdLeft_ = holdFrames_;
        else if (holdLeft_ > 0)
            --holdLeft_;
        if (holdLeft_ > 0)
            gainDb_ = std::max(-settings_.duckDb, gainDb_ - attackStep_);
        else
            gainDb_ = std::min(0.0, gainDb_ + releaseStep_);
        if (gainDb_ != gainDbUsed_) {
            gainDbUsed_ = gainDb_;
            gain_ = float(std::pow(10.0, gainDb_ / 20.0));
        }
        out[i].left = std::clamp(decks[i].left * gain_ + mic[i].left, -1.0f, 1.0f);
        out[i].right = std::clamp(decks[i].right * gain_ + mic[i].right, -1.0f, 1.0f);
    }
}
