#pragma once

#include <optional>
#include <string>

namespace analysis {

// The ReplayGain track gain a tagger wrote into the file (ID3v2 TXXX, Vorbis
// comment, APE or MP4 freeform "REPLAYGAIN_TRACK_GAIN"), in dB, with the
// track peak it wrote beside it ("REPLAYGAIN_TRACK_PEAK", a linear sample
// peak) in dBFS when there is a usable one.
struct ReplayGain {
    double gainDb = 0;
    std::optional<double> peakDbfs;
};

// Nothing when the file has no gain, cannot be read, or the gain is no number
// a tagger writes.
std::optional<ReplayGain> replayGainTag(const std::string& path);

} // namespace analysis
