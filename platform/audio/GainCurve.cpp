#include "platform/audio/GainCurve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace audio {

namespace {
constexpr double kQuarterTurn = std::numbers::pi / 2;
} // namespace

float volumeToGain(int volume) {
    // The ends are exact: sin(pi/2) in float arithmetic need not be 1.
    if (volume <= 0)
        return 0.0f;
    if (volume >= 1000)
        return 1.0f;
    return static_cast<float>(std::sin(kQuarterTurn * volume / 1000.0));
}

int sliderLevelToVolume(int level) {
    const double fraction = std::clamp(level, 0, 1000) / 1000.0;
    // The inverse of VolumeToGain at gain = fraction^2.
    return static_cast<int>(std::lround(std::asin(fraction * fraction) / kQuarterTurn * 1000.0));
}

int FadePlan::volumeAt(std::int64_t elapsed) const {
    if (stepFrames <= 0)
        return direction > 0 ? 1000 : (direction < 0 ? 0 : from);
    const std::int64_t steps = elapsed < 0 ? 0 : elapsed / stepFrames;
    return static_cast<int>(
        std::clamp<std::int64_t>(from + direction * kStepVolume * steps, 0, 1000));
}

float FadePlan::gainAt(std::int64_t elapsed) const {
    if (elapsed <= 0 || stepFrames <= 0)
        return volumeToGain(volumeAt(0));
    const double into = static_cast<double>(elapsed % stepFrames) / static_cast<double>(stepFrames);
    const double here = volumeToGain(volumeAt(elapsed));
    const double next = volumeToGain(volumeAt(elapsed + stepFrames));
    return static_cast<float>(here + (next - here) * into);
}

std::int64_t FadePlan::lengthFrames() const {
    const int distance = direction > 0 ? 1000 - std::clamp(from, 0, 1000)
                                       : (direction < 0 ? std::clamp(from, 0, 1000) : 0);
    return (distance + kStepVolume - 1) / kStepVolume * std::max<std::int64_t>(stepFrames, 0);
}

void GainRamp::jump(float gain) {
    current_ = target_ = gain;
    remaining_ = 0;
}

void GainRamp::setTarget(float target) {
    if (target == target_)
        return;
    target_ = target;
    remaining_ = kRampFrames;
    step_ = (target_ - current_) / static_cast<float>(kRampFrames);
}

float GainRamp::next() {
    if (remaining_ > 0) {
        --remaining_;
        current_ = remaining_ == 0 ? target_ : current_ + step_;
    }
    return current_;
}

} // namespace audio
