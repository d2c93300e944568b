#pragma once

#include "analysis/LoudnessAnalysis.h"

#include <cstdint>
#include <optional>

namespace analysis {

// How one track hands over to the next, worked out from the two tracks'
// analyses. Frames count 44.1 kHz frames of each track's own file.
struct Transition {
    enum class Kind {
        Overlap,     // the next starts as the ending falls and the two overlap
        ColdEnding,  // loud to the end: the next starts as it stops
        LongFadeOut, // the next starts early in a long fade, which is cut short
        AlbumJoin,   // parts of one album: end to start, sample for sample
    };
    Kind kind = Kind::Overlap;
    // The outgoing track's frame on which the incoming one starts; kAtEnd:
    // on the sample after its last.
    static constexpr std::int64_t kAtEnd = -1;
    std::int64_t cueFrame = kAtEnd;
    // Where the incoming track starts playing (its first sound, or 0).
    std::int64_t incomingStartFrame = 0;
    // Frames over which the incoming track fades in; 0: at full volume.
    std::int64_t incomingFadeFrames = 0;
    // Frames over which the outgoing track fades out from the cue; 0: it
    // stops at the cue (it is silent from there, or ends there).
    std::int64_t outgoingFadeFrames = 0;
    // The predicted worst excess of the mix's momentary loudness over the
    // louder of the two tracks during the overlap, in LU.
    double loudnessExcessLu = 0;
};

// The marks, relative to a track's integrated loudness, that its momentary
// loudness passes for good where its ending starts to fall and where its
// sound ends.
inline constexpr double kEndingFallLu = -8;
inline constexpr double kInaudibleLu = -40;
// The most the mix may exceed the louder track by during an overlap.
inline constexpr double kMostExcessLu = 1;

// The hand-over from outgoing to incoming, each played at its gain (dB,
// loudness normalisation); nothing when either analysis lacks what it needs
// (a silent track, a result without block loudness).
std::optional<Transition> planTransition(const LoudnessResult& outgoing, double outgoingGainDb,
                                         const LoudnessResult& incoming, double incomingGainDb);

} // namespace analysis
