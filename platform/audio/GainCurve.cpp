#include "platform/audio/GainCurve.h"

#include <algorithm>

namespace audio {

float VolumeToGain(int volume) {
    const float v = static_cast<float>(std::clamp(volume, 0, 1000)) / 1000.0f;
    return v * v;
}

void GainRamp::Jump(float gain) {
    current_ = target_ = gain;
    remaining_ = 0;
}

void GainRamp::SetTarget(float target) {
    if (target == target_)
        return;
    target_ = target;
    remaining_ = kRampFrames;
    step_ = (target_ - current_) / static_cast<float>(kRampFrames);
}

float GainRamp::Next() {
    if (remaining_ > 0) {
        --remaining_;
        current_ = remaining_ == 0 ? target_ : current_ + step_;
    }
    return current_;
}

} // namespace audio
