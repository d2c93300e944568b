#include "analysis/TrackGain.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

constexpr double kLowestLufs = -71.0;
constexpr double kHighestLufs = 10.0;
constexpr double kLowestPeakDb = -120.0;
constexpr double kHighestPeakDb = 30.0;

bool PlausiblePeak(double peakDb) {
    return std::isfinite(peakDb) && peakDb >= kLowestPeakDb && peakDb <= kHighestPeakDb;
}

// A gain held under the true-peak ceiling when the peak is known, and under
// the boost caps either way.
double Ceiled(double gainDb, std::optional<double> peakDb) {
    if (peakDb)
        return std::min({gainDb, kPeakCeilingDbtp - *peakDb, kMaxBoostDb});
    return std::min(gainDb, kMaxBoostWithoutPeakDb);
}

} // namespace

bool IsPlausibleLoudness(double integratedLufs, double truePeakDbtp) {
    if (std::isinf(integratedLufs) && integratedLufs < 0)
        return true;
    return std::isfinite(integratedLufs) && integratedLufs >= kLowestLufs &&
           integratedLufs <= kHighestLufs && PlausiblePeak(truePeakDbtp);
}

double TrackGainDb(double integratedLufs, double truePeakDbtp) {
    if (!std::isfinite(integratedLufs) || !IsPlausibleLoudness(integratedLufs, truePeakDbtp))
        return 0;
    return Ceiled(kTargetLufs - integratedLufs, truePeakDbtp);
}

double TagGainDb(double tagGainDb, std::optional<double> peakDbfs) {
    if (!std::isfinite(tagGainDb))
        return 0;
    if (peakDbfs && !PlausiblePeak(*peakDbfs))
        peakDbfs.reset();
    return Ceiled(tagGainDb, peakDbfs);
}

double GainFactor(double gainDb) {
    return std::pow(10.0, gainDb / 20.0);
}

} // namespace analysis
