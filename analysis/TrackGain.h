#pragma once

namespace analysis {

// The loudness every track is brought to, and the true peak no gain may push
// a track above.
inline constexpr double kTargetLufs = -18.0;
inline constexpr double kPeakCeilingDbtp = -1.0;

// Gain in dB that brings a track of this integrated loudness to kTargetLufs,
// lowered where the true peak would otherwise pass kPeakCeilingDbtp. A
// silent track (loudness not finite) gets 0 dB.
double TrackGainDb(double integratedLufs, double truePeakDbtp);

// The linear factor of a gain in dB, for multiplying a deck's volume.
double GainFactor(double gainDb);

} // namespace analysis
