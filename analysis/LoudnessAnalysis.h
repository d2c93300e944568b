#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace analysis {

// What the analysis of one track found. Frame positions count output frames
// (44.1 kHz) from the start of the decoded track.
struct LoudnessResult {
    // Integrated loudness per EBU R128; -infinity for a silent track.
    double integratedLufs = 0;
    // Highest true (inter-sample) peak of either channel, in dB true peak.
    double truePeakDbtp = 0;
    // First and last frame with a sample above -60 dBFS in either channel;
    // both -1 when the whole track is quieter than that.
    std::int64_t firstAudibleFrame = -1;
    std::int64_t lastAudibleFrame = -1;
    std::int64_t lengthFrames = 0;

    bool HasAudibleSound() const { return firstAudibleFrame >= 0; }
    std::int64_t FirstAudibleMs() const;
    std::int64_t LastAudibleMs() const;
};

// Decodes the track at full speed (any format the decks play) and measures
// it. Throws audio::MediaError when the file cannot be decoded, and
// AnalysisCancelled when *cancel turns true on the way.
LoudnessResult AnalyseLoudness(const std::string& path, const std::atomic<bool>* cancel = nullptr);

struct AnalysisCancelled {};

} // namespace analysis
