#pragma once

#include "broadcast/TalkOver.h"
#include "platform/audio/MixTap.h"
#include "platform/audio/SpscRing.h"
#include "platform/capture/InputCapture.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

// Takes the broadcast mix, block by block, on the mix thread. Must not wait
// on anything slow (a network, a lock the window holds): the mix thread
// feeds every other sink and the local relay too.
class MixSink {
public:
    virtual ~MixSink() = default;
    virtual void write(const audio::StereoFrame* frames, std::size_t count) = 0;
};

// The broadcast mix at 44.1 kHz: the decks exactly as the engine's output
// plays them (its tap) plus the microphone, with talk-over ducking, handed to
// every sink in turn.
//
// The output pulls the decks' mix ahead of what is heard, in bursts, and
// rests while no deck plays; the microphone arrives in blocks on its own
// thread. So Pump is told how many frames are due by a clock of its own (the
// pacing thread's), and each source is read through a small primed buffer:
// once a source holds kPrimeFrames it is read frame for frame, a source that
// runs dry gives silence until it is primed again, and a source that has
// run far ahead (the output's buffer grew) is trimmed to keep the
// broadcast's delay short.
class BroadcastMix {
public:
    static constexpr int kRate = audio::kOutputRate;
    static constexpr std::size_t kPrimeFrames = kRate / 5;   // 200 ms
    static constexpr std::size_t kMaxTapBacklog = kRate * 3; // the output's largest buffer and more
    static constexpr std::size_t kMaxMicBacklog = kRate / 4;
    static constexpr std::size_t kMicBlockFrames = 1024;

    explicit BroadcastMix(audio::MixTap& tap, const DuckingSettings& ducking = {});
    ~BroadcastMix();
    BroadcastMix(const BroadcastMix&) = delete;
    BroadcastMix& operator=(const BroadcastMix&) = delete;

    // Opens the microphone (44.1 kHz, 16-bit stereo); without one the mix is
    // the decks alone.
    audio::Status openMicrophone(int device = audio::InputCapture::kDefaultDevice);
    // Before Start: a sink receives every block mixed from then on.
    void addSink(std::shared_ptr<MixSink> sink);

    // Starts copying the engine's mix and recording the microphone.
    void start();
    // Stops both; once this returns the tap is not touched again (a Pump in
    // progress is waited for: it holds the tap for a copy only).
    void stop();

    // Mix thread: mixes the next `frames` frames and hands them to the sinks.
    void pump(std::size_t frames);

private:
    struct PrimedSource {
        bool primed = false;
        // How many of `wanted` frames to take when `readable` are waiting.
        std::size_t take(std::size_t readable, std::size_t wanted);
    };
    void micBlock(std::span<const char> block);
    std::size_t readTap(audio::StereoFrame* out, std::size_t frames);
    std::size_t readMic(audio::StereoFrame* out, std::size_t frames);

    std::mutex tapLock_;
    audio::MixTap* tap_; // null once stopped
    TalkOver talkOver_;
    audio::SpscRing<audio::StereoFrame> micRing_{1 << 15};
    std::unique_ptr<audio::InputCapture> mic_;
    PrimedSource tapSource_, micSource_;
    std::vector<std::shared_ptr<MixSink>> sinks_;
    std::vector<audio::StereoFrame> decks_, micFrames_, mixed_;
};
