#pragma once

#include <optional>
#include <string>

namespace analysis {

// The ReplayGain track gain a tagger wrote into the file (ID3v2 TXXX, Vorbis
// comment, APE or MP4 freeform "REPLAYGAIN_TRACK_GAIN"), in dB; nothing when
// the file has none, cannot be read, or the value is no number.
std::optional<double> ReplayGainTag(const std::string& path);

} // namespace analysis
