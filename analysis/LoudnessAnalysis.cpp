#include "analysis/LoudnessAnalysis.h"

#include "analysis/TruePeakMeter.h"
#include "platform/audio/MediaError.h"
#include "platform/audio/TrackDecoder.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <ebur128.h>
#include <memory>
#include <vector>

namespace analysis {

namespace {

// -60 dBFS as a sample amplitude.
constexpr float kAudibleLevel = 0.001f;
// Frames per decoder call: large enough that the loudness meter's per-call
// cost vanishes, small enough to answer a cancel at once.
constexpr std::size_t kChunkFrames = 32768;

struct MeterDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

bool isAudible(const audio::StereoFrame& f) {
    return std::fabs(f.left) > kAudibleLevel || std::fabs(f.right) > kAudibleLevel;
}

std::int64_t framesToMs(std::int64_t frames) {
    return frames < 0 ? -1 : frames * 1000 / audio::kOutputRate;
}

// Collects the loudness of each 100 ms block as the meter reads it: the
// first blocks whole, the last ones in a window that slides to the end.
class BlockLoudness {
public:
    explicit BlockLoudness(ebur128_state* meter)
        : meter_(meter) {}

    // Feeds frames to the meter, a block's end at a time.
    void add(const audio::StereoFrame* frames, std::size_t count) {
        while (count > 0) {
            const std::size_t room = std::size_t(LoudnessResult::kBlockFrames) - filled_;
            const std::size_t n = std::min(room, count);
            ebur128_add_frames_float(meter_, &frames[0].left, n);
            filled_ += n;
            frames += n;
            count -= n;
            if (filled_ == std::size_t(LoudnessResult::kBlockFrames))
                endBlock();
        }
    }

    // Ends the last, partial block and hands the blocks to result.
    void finish(LoudnessResult& result) {
        if (filled_ > 0)
            endBlock();
        result.headBlocks = std::move(head_);
        result.tailBlocks.assign(tail_.begin(), tail_.end());
        result.tailFirstBlock = blocks_ - std::int64_t(tail_.size());
    }

private:
    void endBlock() {
        double loudness = -HUGE_VAL;
        ebur128_loudness_window(meter_, 100, &loudness);
        const float block = std::isfinite(loudness)
                                ? std::max(float(loudness), LoudnessResult::kSilentBlock)
                                : LoudnessResult::kSilentBlock;
        if (head_.size() < LoudnessResult::kHeadBlocks)
            head_.push_back(block);
        tail_.push_back(block);
        if (tail_.size() > LoudnessResult::kTailBlocks)
            tail_.pop_front();
        ++blocks_;
        filled_ = 0;
    }

    ebur128_state* meter_;
    std::size_t filled_ = 0;
    std::int64_t blocks_ = 0;
    std::vector<float> head_;
    std::deque<float> tail_;
};

} // namespace

std::int64_t LoudnessResult::firstAudibleMs() const {
    return framesToMs(firstAudibleFrame);
}
std::int64_t LoudnessResult::lastAudibleMs() const {
    return framesToMs(lastAudibleFrame);
}

LoudnessResult analyseLoudness(const std::string& path, const std::atomic<bool>* cancel) {
    // Read once, start to end: the frames counted are the length.
    std::unique_ptr<audio::TrackDecoder> decoder =
        audio::makeTrackDecoder(path, audio::TrackLength::NotNeeded);
    decoder->open(path, cancel);
    std::unique_ptr<ebur128_state, MeterDeleter> meter(
        ebur128_init(2, audio::kOutputRate, EBUR128_MODE_I));
    if (!meter)
        throw audio::MediaError("Out of memory measuring " + path);

    LoudnessResult result;
    // libebur128's own true peak would triple the analysis time.
    TruePeakMeter truePeak;
    BlockLoudness blocks(meter.get());
    std::vector<audio::StereoFrame> chunk(kChunkFrames);
    std::int64_t position = 0;
    while (!decoder->finished()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw AnalysisCancelled{};
        const std::size_t got = decoder->decode(chunk.data(), chunk.size());
        if (got == 0)
            continue;
        blocks.add(chunk.data(), got);
        truePeak.add(chunk.data(), got);
        // Only the ends matter: the first audible frame once, the last one
        // found by scanning each piece backwards to its last audible frame.
        if (result.firstAudibleFrame < 0)
            for (std::size_t i = 0; i < got && result.firstAudibleFrame < 0; ++i)
                if (isAudible(chunk[i]))
                    result.firstAudibleFrame = position + std::int64_t(i);
        for (std::size_t i = got; i-- > 0;)
            if (isAudible(chunk[i])) {
                result.lastAudibleFrame = position + std::int64_t(i);
                break;
            }
        position += std::int64_t(got);
    }
    result.lengthFrames = position;
    blocks.finish(result);
    double loudness = -HUGE_VAL;
    ebur128_loudness_global(meter.get(), &loudness);
    result.integratedLufs = loudness;
    const double peak = truePeak.peak();
    result.truePeakDbtp = peak > 0 ? 20 * std::log10(peak) : -HUGE_VAL;
    return result;
}

} // namespace analysis
