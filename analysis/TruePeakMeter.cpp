#include "analysis/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace analysis {

namespace {

constexpr int kFactor = 4;
// Blocks checked against the bound at once: the check costs one pass of
// maximum-finding, the filter twelve multiplications per phase and sample.
constexpr std::size_t kBlock = 1024;

// Eight floats: one AVX register, or two SSE registers on the x86-64
// baseline (GCC and Clang lower it to whatever the target has).
using Float8 = float __attribute__((vector_size(32)));

// These helpers live in this file only and are inlined: how a baseline
// build would pass an eight-float vector between files does not matter.
#pragma GCC diagnostic ignored "-Wpsabi"

Float8 load(const float* p) {
    Float8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Float8 abs(Float8 v) {
    return v > -v ? v : -v;
}

float largest(Float8 v) {
    float m = v[0];
    for (int i = 1; i < 8; ++i)
        m = std::max(m, v[i]);
    return m;
}

float largestAbs(const float* x, std::size_t count) {
    float m = 0;
    for (std::size_t i = 0; i < count; ++i)
        m = std::max(m, std::fabs(x[i]));
    return m;
}

} // namespace

TruePeakMeter::TruePeakMeter() {
    // Hann-windowed sinc of 49 taps for four times the rate; its centre tap
    // falls on phase 0, which therefore passes the input unchanged.
    constexpr int kLength = 4 * int(kTaps) + 1;
    constexpr double kCentre = (kLength - 1) / 2.0;
    std::array<std::array<double, kTaps>, kFactor> taps{};
    for (int phase = 1; phase < kFactor; ++phase) {
        double sum = 0;
        for (std::size_t k = 0; k < kTaps; ++k) {
            const int j = phase + kFactor * int(k);
            const double m = (j - kCentre) * std::numbers::pi / kFactor;
            const double window = 0.5 * (1 - std::cos(2 * std::numbers::pi * j / (kLength - 1)));
            taps[phase][k] = std::sin(m) / m * window;
            sum += taps[phase][k];
        }
        // Each phase passes a constant unchanged.
        double bound = 0;
        for (double& tap : taps[phase]) {
            tap /= sum;
            bound += std::fabs(tap);
        }
        gainBound_ = std::max(gainBound_, float(bound));
    }
    for (std::size_t k = 0; k < kHalf; ++k) {
        mid_[k] = float(taps[2][k]);
        pairSum_[k] = float(taps[1][k] + taps[1][kTaps - 1 - k]);
        pairDiff_[k] = float(taps[1][k] - taps[1][kTaps - 1 - k]);
    }
    left_.assign(kHistory, 0.f);
    right_.assign(kHistory, 0.f);
}

void TruePeakMeter::add(const audio::StereoFrame* frames, std::size_t count) {
    left_.resize(kHistory + count);
    right_.resize(kHistory + count);
    for (std::size_t i = 0; i < count; ++i) {
        left_[kHistory + i] = frames[i].left;
        right_[kHistory + i] = frames[i].right;
    }
    measure(left_, count);
    measure(right_, count);
}

// Built twice with GCC, for AVX2 and for the baseline; the loader picks the
// one the processor runs (the filter is most of the meter's time). Clang
// accepts clones only on a function's first declaration, and a sanitizer's
// instrumented clone picker runs before the sanitizer is set up and crashes,
// so those builds keep the baseline.
#if defined(__clang__) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV_AVX2_CLONES
#else
#define KV_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#endif
KV_AVX2_CLONES void TruePeakMeter::measure(std::vector<float>& samples, std::size_t count) {
    // x[n - k] for k up to kHistory reaches into the previous call's samples.
    const float* x = samples.data() + kHistory;
    for (std::size_t start = 0; start < count; start += kBlock) {
        const std::size_t end = std::min(count, start + kBlock);
        const float inputPeak = largestAbs(x + start - kHistory, end - start + kHistory);
        peak_ = std::max(peak_, largestAbs(x + start, end - start));
        if (inputPeak * gainBound_ <= peak_)
            continue;
        Float8 largest = {};
        std::size_t n = start;
        for (; n + 8 <= end; n += 8) {
            Float8 mid = {}, pairSum = {}, pairDiff = {};
            for (std::size_t k = 0; k < kHalf; ++k) {
                const Float8 near = load(x + n - k);
                const Float8 far = load(x + n - (kTaps - 1 - k));
                mid += mid_[k] * (near + far);
                pairSum += pairSum_[k] * (near + far);
                pairDiff += pairDiff_[k] * (near - far);
            }
            const Float8 outer = 0.5f * (abs(pairSum) + abs(pairDiff));
            largest = abs(mid) > largest ? abs(mid) : largest;
            largest = outer > largest ? outer : largest;
        }
        float blockPeak = analysis::largest(largest);
        for (; n < end; ++n) {
            float mid = 0, pairSum = 0, pairDiff = 0;
            for (std::size_t k = 0; k < kHalf; ++k) {
                const float near = x[n - k], far = x[n - (kTaps - 1 - k)];
                mid += mid_[k] * (near + far);
                pairSum += pairSum_[k] * (near + far);
                pairDiff += pairDiff_[k] * (near - far);
            }
            blockPeak = std::max(
                {blockPeak, std::fabs(mid), 0.5f * (std::fabs(pairSum) + std::fabs(pairDiff))});
        }
        peak_ = std::max(peak_, blockPeak);
    }
    // Keep the last samples as the next call's history.
    std::memmove(samples.data(), samples.data() + count, kHistory * sizeof(float));
}

} // namespace analysis
