#include "analysis/Transition.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace analysis {

namespace {

constexpr std::int64_t kBlock = LoudnessResult::kBlockFrames;
constexpr std::int64_t kSecond = 10 * kBlock;
// EBU R128's momentary window (400 ms), in blocks.
constexpr std::size_t kMomentary = 4;
// An ending that falls from loud to silent within this is a cold one.
constexpr std::int64_t kColdFall = kSecond;
// A fall longer than this is a long fade-out: the overlap is cut short.
constexpr std::int64_t kLongFall = 6 * kSecond;
constexpr std::int64_t kShortOverlap = 3 * kSecond;
constexpr std::int64_t kLongestOverlap = 10 * kSecond;
// A start that is this loud within its first second is a hard one.
constexpr std::int64_t kHardStartWithin = kSecond;

double power(double lufs) {
    return lufs <= LoudnessResult::kSilentBlock ? 0 : std::pow(10.0, lufs / 10);
}
double lufs(double power) {
    return power > 0 ? 10 * std::log10(power) : LoudnessResult::kSilentBlock;
}

// The loudness of the window of width blocks that ends with block i; blocks
// before the first known one count as missing, not as silence.
double windowLoudness(const std::vector<float>& blocks, std::size_t i, std::size_t width) {
    const std::size_t first = i + 1 >= width ? i + 1 - width : 0;
    double sum = 0;
    for (std::size_t k = first; k <= i; ++k)
        sum += power(blocks[k]);
    return lufs(sum / double(i + 1 - first));
}

// A track's momentary loudness (LUFS, at its gain) from its block list, with
// index the list's own; outside the list, the fallback.
struct Levels {
    const std::vector<float>& blocks;
    std::int64_t firstBlock; // the file's block number of blocks[0]
    double gainDb;
    double fallback;

    double at(std::int64_t frame) const {
        const std::int64_t i = frame / kBlock - firstBlock;
        if (i < 0 || i >= std::int64_t(blocks.size()))
            return fallback;
        return windowLoudness(blocks, std::size_t(i), kMomentary) + gainDb;
    }
};

bool sameAlbum(const LoudnessResult& a, const LoudnessResult& b) {
    return !a.album.empty() && a.album == b.album && a.artist == b.artist && a.trackNumber > 0 &&
           b.trackNumber == a.trackNumber + 1;
}

// The worst excess of the mix over the louder track while the two overlap
// from the cue: equal-power fades, the outgoing one over fadeOut frames, the
// incoming one over fadeIn (0: at full volume from its start).
double worstExcess(const Levels& out, std::int64_t cue, const Levels& in, std::int64_t inStart,
                   std::int64_t fadeOut, std::int64_t fadeIn) {
    double worst = 0;
    for (std::int64_t t = 0; t < fadeOut; t += kBlock) {
        const double a = out.at(cue + t), b = in.at(inStart + t);
        const double outGain = std::cos(double(t) / double(fadeOut) * M_PI / 2);
        const double inGain =
            fadeIn > 0 ? std::sin(std::min(double(t) / double(fadeIn), 1.0) * M_PI / 2) : 1.0;
        const double mix = lufs(power(a) * outGain * outGain + power(b) * inGain * inGain);
        worst = std::max(worst, mix - std::max(a, b));
    }
    return worst;
}

} // namespace

std::optional<Transition> planTransition(const LoudnessResult& outgoing, double outgoingGainDb,
                                         const LoudnessResult& incoming, double incomingGainDb) {
    Transition plan;
    if (sameAlbum(outgoing, incoming)) {
        plan.kind = Transition::Kind::AlbumJoin;
        return plan;
    }
    if (!outgoing.hasAudibleSound() || !incoming.hasAudibleSound() ||
        !std::isfinite(outgoing.integratedLufs) || !std::isfinite(incoming.integratedLufs) ||
        outgoing.tailBlocks.empty() || incoming.headBlocks.empty())
        return std::nullopt;

    // Where the outgoing track's sound ends, and where its ending starts to
    // fall (its short-term loudness drops below the mark for good).
    const std::vector<float>& tail = outgoing.tailBlocks;
    const std::int64_t tailStart = outgoing.tailFirstBlock * kBlock;
    std::int64_t audibleEnd = outgoing.lastAudibleFrame + 1;
    std::int64_t fall = tailStart;
    for (std::size_t k = tail.size(); k-- > 0;) {
        if (windowLoudness(tail, k, kMomentary) >= outgoing.integratedLufs + kInaudibleLu) {
            audibleEnd = std::min(audibleEnd, tailStart + std::int64_t(k + 1) * kBlock);
            break;
        }
    }
    // Momentary, not short-term: the 3 s window lags a fade by up to its
    // length, which made every fade of up to four seconds look like a cold
    // ending on the test set.
    for (std::size_t k = tail.size(); k-- > 0;) {
        if (windowLoudness(tail, k, kMomentary) >= outgoing.integratedLufs + kEndingFallLu) {
            fall = tailStart + std::int64_t(k + 1) * kBlock;
            break;
        }
    }
    const std::int64_t overlapStart = std::min(fall, audibleEnd);

    plan.incomingStartFrame = incoming.firstAudibleFrame;
    const std::vector<float>& head = incoming.headBlocks;
    const std::int64_t firstBlock = incoming.firstAudibleFrame / kBlock;
    bool hardStart = false;
    for (std::int64_t k = firstBlock;
         k <
         std::min<std::int64_t>(firstBlock + kHardStartWithin / kBlock, std::int64_t(head.size()));
         ++k)
        hardStart |= windowLoudness(head, std::size_t(k), kMomentary) >=
                     incoming.integratedLufs + kEndingFallLu;

    if (audibleEnd - overlapStart <= kColdFall) {
        plan.kind = Transition::Kind::ColdEnding;
        plan.cueFrame = audibleEnd;
        return plan;
    }
    const bool longFall = audibleEnd - overlapStart > kLongFall;
    plan.kind = longFall ? Transition::Kind::LongFadeOut : Transition::Kind::Overlap;
    const Levels out{tail, outgoing.tailFirstBlock, outgoingGainDb, LoudnessResult::kSilentBlock};
    const Levels in{head, 0, incomingGainDb, incoming.integratedLufs + incomingGainDb};
    // The earliest cue from the fall on whose overlap keeps the loudness even;
    // at the sound's end there is no overlap left to exceed it.
    for (std::int64_t cue = overlapStart;; cue = std::min(cue + kBlock, audibleEnd)) {
        const std::int64_t left = audibleEnd - cue;
        const std::int64_t fadeOut = std::min(left, longFall ? kShortOverlap : kLongestOverlap);
        const std::int64_t fadeIn = hardStart ? 0 : fadeOut;
        const double excess = worstExcess(out, cue, in, plan.incomingStartFrame, fadeOut, fadeIn);
        if (excess <= kMostExcessLu || cue >= audibleEnd) {
            plan.cueFrame = cue;
            plan.outgoingFadeFrames = fadeOut;
            plan.incomingFadeFrames = fadeIn;
            plan.loudnessExcessLu = excess;
            if (fadeOut == 0)
                plan.kind = Transition::Kind::ColdEnding;
            return plan;
        }
    }
}

} // namespace analysis
