#include "analysis/TrackGain.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

constexpr double kLowestLufs = -71.0;
constexpr double kHighestLufs = 10.0;
constexpr double kLowestPeakDb = -120.0;
constexpr double kHighestPeakDb = 30.0;

bool plausiblePeak(double peakDb) {
    return std::isfinite(peakDb) && peakDb >= kLowestPeakDb && peakDb <= kHighestPeakDb;
}

// A gain held under the true-peak ceiling when the peak is known, and under
// the boost caps either way.
double ceiled(double gainDb, std::optional<double> peakDb) {
    if (peakDb)
        return std::min({gainDb, kPeakCeilingDbtp - *peakDb, kMaxBoostDb});
    return std::min(gainDb, kMaxBoostWithoutPeakDb);
}

} // namespace

bool isPlausibleLoudness(double integratedLufs, double truePeakDbtp) {
    if (std::isinf(integratedLufs) && integratedLufs < 0)
        return true;
    return std::isfinite(integratedLufs) && integratedLufs >= kLowestLufs &&
           integratedLufs <= kHighestLufs && plausiblePeak(truePeakDbtp);
}

double trackGainDb(double integratedLufs, double truePeakDbtp) {
    if (!std::isfinite(integratedLufs) || !isPlausibleLoudness(integratedLufs, truePeakDbtp))
        return 0;
    return ceiled(kTargetLufs - integratedLufs, truePeakDbtp);
}

double tagGainDb(double tagGainDb, std::optional<double> peakDbfs) {
    if (!std::isfinite(tagGainDb))
        return 0;
    if (peakDbfs && !plausiblePeak(*peakDbfs))
        peakDbfs.reset();
    return ceiled(tagGainDb, peakDbfs);
}

double gainFactor(double gainDb) {
    return std::pow(10.0, gainDb / 20.0);
}

} // namespace analysis
