#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

    // The loudness of consecutive 100 ms blocks (LUFS, K-weighted as the
    // integrated loudness; kSilentBlock for silence), from which the ends of
    // a track are read: how it starts, where its ending falls, how it fades.
    // headBlocks covers the first kHeadBlocks blocks, tailBlocks the last
    // kTailBlocks, the first of which is block tailFirstBlock (block b spans
    // frames b * kBlockFrames up to the next block).
    static constexpr std::int64_t kBlockFrames = 4410;
    static constexpr std::size_t kHeadBlocks = 200;
    static constexpr std::size_t kTailBlocks = 400;
    static constexpr float kSilentBlock = -120.0f;
    std::vector<float> headBlocks;
    std::vector<float> tailBlocks;
    std::int64_t tailFirstBlock = 0;

    // What makes consecutive tracks parts of one album: empty and 0 unset.
    std::string album;
    std::string artist;
    int trackNumber = 0;

    bool hasAudibleSound() const { return firstAudibleFrame >= 0; }
    std::int64_t firstAudibleMs() const;
    std::int64_t lastAudibleMs() const;
};

// Decodes the track at full speed (any format the decks play) and measures
// it. Throws audio::MediaError when the file cannot be decoded, and
// AnalysisCancelled when *cancel turns true on the way.
LoudnessResult analyseLoudness(const std::string& path, const std::atomic<bool>* cancel = nullptr);

struct AnalysisCancelled {};

} // namespace analysis
