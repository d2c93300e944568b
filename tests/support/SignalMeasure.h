#pragma once

#include "platform/audio/StereoFrame.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

// Measures of recorded or rendered sound for the tests.
namespace measure {

inline std::vector<float> left(const std::vector<audio::StereoFrame>& frames, std::size_t from = 0,
                               std::size_t count = static_cast<std::size_t>(-1)) {
    std::vector<float> out;
    for (std::size_t i = from; i < frames.size() && out.size() < count; ++i)
        out.push_back(frames[i].left);
    return out;
}

inline double peak(const std::vector<float>& x) {
    double peak = 0;
    for (float v : x)
        peak = std::max(peak, double(std::fabs(v)));
    return peak;
}

inline double rms(const std::vector<float>& x) {
    if (x.empty())
        return 0;
    double sum = 0;
    for (float v : x)
        sum += double(v) * v;
    return std::sqrt(sum / double(x.size()));
}

// Frequency from the median distance between rising zero crossings, placed
// between samples by interpolation. Gaps in a recording (a sound server that
// fell behind under load) leave the median alone, where a plain count of
// crossings would read a lower pitch.
inline double zeroCrossingFrequency(const std::vector<float>& x, double rate) {
    std::vector<double> rising;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
            rising.push_back(double(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
    if (rising.size() < 3)
        return 0;
    std::vector<double> periods;
    for (std::size_t i = 1; i < rising.size(); ++i)
        periods.push_back(rising[i] - rising[i - 1]);
    auto middle = periods.begin() + std::ptrdiff_t(periods.size() / 2);
    std::nth_element(periods.begin(), middle, periods.end());
    return rate / *middle;
}

// Amplitude of one frequency in a window (Goertzel), scaled so that a sine
// of amplitude a gives about a.
inline double goertzel(const std::vector<float>& x, double rate, double frequency) {
    const double w = 2 * std::numbers::pi * frequency / rate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s = v + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return x.empty() ? 0 : 2 * std::sqrt(std::max(power, 0.0)) / double(x.size());
}

// The silent stretches (every sample below a noise floor) longer than
// minSamples between the first and the last sound of x: the gaps a listener
// hears in what should be continuous sound. Returns their lengths.
inline std::vector<std::size_t> gaps(const std::vector<float>& x, std::size_t minSamples,
                                     float floor = 1e-3f) {
    std::vector<std::size_t> gaps;
    auto loud = [&](std::size_t i) { return std::abs(x[i]) >= floor; };
    std::size_t i = 0;
    while (i < x.size() && !loud(i))
        ++i;
    std::size_t run = 0;
    for (; i < x.size(); ++i) {
        if (!loud(i)) {
            ++run;
            continue;
        }
        if (run > minSamples)
            gaps.push_back(run);
        run = 0;
    }
    return gaps; // a trailing run is the end of the sound, not a gap
}

} // namespace measure
