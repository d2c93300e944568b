// Our true-peak meter against libebur128's on signals whose peaks fall
// between samples, fed in uneven pieces.
#include "analysis/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace {

double ebur128TruePeak(const std::vector<audio::StereoFrame>& frames) {
    ebur128_state* state = ebur128_init(2, audio::kOutputRate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(state, &frames[0].left, frames.size());
    double left = 0, right = 0;
    ebur128_true_peak(state, 0, &left);
    ebur128_true_peak(state, 1, &right);
    ebur128_destroy(&state);
    return std::max(left, right);
}

TEST(TruePeakMeterTest, AgreesWithLibebur128BetweenSamples) {
    const double pi = std::numbers::pi;
    // A quarter-rate sine sampled 45 degrees off its crests (samples at 0.707
    // of a peak of 1); a 15 kHz tone; a quiet tone with one loud burst late
    // (blocks before it are passed over, the burst must still count).
    const auto quarter = [&](std::size_t i, int) { return std::sin(pi / 2 * double(i) + pi / 4); };
    const auto high = [&](std::size_t i, int ch) {
        return 0.8 * std::sin(2 * pi * 15000 * double(i) / 44100 + ch);
    };
    const auto burst = [&](std::size_t i, int) {
        const double level = (i >= 70000 && i < 70040) ? 0.9 : 0.05;
        return level * std::sin(2 * pi * 11025 * double(i) / 44100 + pi / 4);
    };
    for (const auto& signal :
         std::vector<std::function<double(std::size_t, int)>>{quarter, high, burst}) {
        std::vector<audio::StereoFrame> frames(100000);
        for (std::size_t i = 0; i < frames.size(); ++i)
            frames[i] = {float(signal(i, 0)), float(signal(i, 1))};
        analysis::TruePeakMeter meter;
        for (std::size_t at = 0, piece = 1; at < frames.size(); at += piece, piece = piece * 3 + 1)
            meter.add(frames.data() + at, std::min(piece, frames.size() - at));
        const double reference = ebur128TruePeak(frames);
        EXPECT_NEAR(20 * std::log10(meter.peak()), 20 * std::log10(reference), 0.2);
    }
}

} // namespace
