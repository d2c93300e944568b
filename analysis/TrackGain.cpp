#include "analysis/TrackGain.h"

#include <algorithm>
#include <cmath>

namespace analysis {

double TrackGainDb(double integratedLufs, double truePeakDbtp) {
    if (!std::isfinite(integratedLufs))
        return 0;
    const double toTarget = kTargetLufs - integratedLufs;
    if (!std::isfinite(truePeakDbtp))
        return toTarget;
    return std::min(toTarget, kPeakCeilingDbtp - truePeakDbtp);
}

double GainFactor(double gainDb) {
    return std::pow(10.0, gainDb / 20.0);
}

} // namespace analysis
