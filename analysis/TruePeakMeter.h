#pragma once

#include "platform/audio/StereoFrame.h"

#include <array>
#include <cstddef>
#include <vector>

namespace analysis {

// The true (inter-sample) peak of a stereo signal as EBU R128 asks for it:
// the largest absolute value of the signal oversampled four times through a
// 49-tap windowed-sinc interpolator (ITU-R BS.1770 annex 2). The work is
// done eight output samples at a time, and blocks whose samples are too low
// to reach the peak found so far through any of the filter's phases are
// passed over: an exact bound, not an estimate, so the result is the same.
class TruePeakMeter {
public:
    TruePeakMeter();

    void add(const audio::StereoFrame* frames, std::size_t count);
    // The peak so far as a sample value (1.0 = full scale).
    double peak() const { return peak_; }

private:
    static constexpr std::size_t kTaps = 12; // per interpolated phase
    static constexpr std::size_t kHistory = kTaps - 1;

    void measure(std::vector<float>& samples, std::size_t count);

    static constexpr std::size_t kHalf = kTaps / 2;
    // The interpolator is symmetric: phase 2's taps read the same both ways
    // and phase 3's are phase 1's reversed. So with s = x[n-k] + x[n-11+k]
    // and d = x[n-k] - x[n-11+k] (k < 6), phase 2 = sum(mid*s), and phases
    // 1 and 3 are (S + D)/2 and (S - D)/2 with S = sum(pairSum*s) and
    // D = sum(pairDiff*d), whose larger magnitude is (|S| + |D|)/2: half the
    // multiplications of the plain filter, the same result.
    std::array<float, kHalf> mid_{};
    std::array<float, kHalf> pairSum_{};
    std::array<float, kHalf> pairDiff_{};
    // The largest sum of absolute taps of a phase: no output exceeds the
    // largest input in its window times this.
    float gainBound_ = 0;
    std::vector<float> left_;
    std::vector<float> right_;
    float peak_ = 0;
};

} // namespace analysis
