#pragma once

#include <optional>

namespace analysis {

// The loudness every track is brought to, and the true peak no gain may push
// a track above.
inline constexpr double kTargetLufs = -18.0;
inline constexpr double kPeakCeilingDbtp = -1.0;
// The most a track is ever raised: past this a quiet intro or a damaged
// measurement turns into a blast. A gain whose peak is not known is held
// lower still, since nothing says how close the track already is to full
// scale.
inline constexpr double kMaxBoostDb = 12.0;
inline constexpr double kMaxBoostWithoutPeakDb = 6.0;

// Whether a measurement can be of a real track: integrated loudness is gated
// at -70 LUFS and a full-scale square wave measures about +3 LUFS, so
// anything beyond these bounds (or a finite loudness without a finite peak)
// is a damaged value. A silent track (loudness -infinity) is plausible.
bool isPlausibleLoudness(double integratedLufs, double truePeakDbtp);

// Gain in dB that brings a track of this integrated loudness to kTargetLufs,
// lowered where the true peak would otherwise pass kPeakCeilingDbtp, and
// never above kMaxBoostDb. A silent track or an implausible measurement gets
// 0 dB.
double trackGainDb(double integratedLufs, double truePeakDbtp);

// The gain to apply for a ReplayGain tag: the tag's gain held under the same
// ceiling with the tag's own peak (dBFS) when it has one, and capped at
// kMaxBoostWithoutPeakDb when it has none. A gain that is no number gives 0.
double tagGainDb(double tagGainDb, std::optional<double> peakDbfs);

// The linear factor of a gain in dB, for multiplying a deck's volume.
double gainFactor(double gainDb);

} // namespace analysis
