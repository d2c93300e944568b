#pragma once

#include "platform/audio/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace audio {

// The default output device through PortAudio (on Linux: ALSA's default,
// which reaches PulseAudio or PipeWire), 44.1 kHz stereo float.
//
// A device can die while it plays (the sound server is killed or restarted):
// PortAudio then simply stops calling back, with no error to the program.
// RetireIfStalled, called regularly by the engine, notices the silence and
// detaches the output from its source for good, so that another output can
// take over the mix without two threads consuming it.
//
// The callback thread asks for real-time scheduling on its first period, and
// the threads the stream's open started (PulseAudio's client loop behind
// ALSA) are given the same, since the sound passes through them too. Periods
// the device reports as run dry are counted as underruns.
class PortAudioOutput final : public DeviceOutput {
public:
    // How long the device may go without asking for sound before it counts
    // as dead: far longer than any period or scheduling delay, and longer
    // still before the first callback (a sound server may take a second or
    // two to resume a suspended sink for a new stream).
    static constexpr std::chrono::milliseconds kStallLimit{2000};
    static constexpr std::chrono::milliseconds kFirstCallbackLimit{5000};
    // The output buffer asked of the device, in seconds (see Open).
    static constexpr double kSuggestedLatency = 0.020;
    // Frames per callback: the 20 ms buffer is refilled in ~2.9 ms steps
    // (see Open).
    static constexpr unsigned long kFramesPerPeriod = 128;

    // The running output, or nullptr with the reason in *why.
    static std::unique_ptr<PortAudioOutput> start(MixSource& source, std::string* why);
    // The output opened but not yet asking for sound (Begin starts it), so
    // that another output can keep the mix until the device is sure to work.
    static std::unique_ptr<PortAudioOutput> open(MixSource& source, std::string* why);
    bool begin(std::string* why) override;
    ~PortAudioOutput() override;
    const char* name() const override { return "portaudio"; }

    // True once the device made no callback for kStallLimit.
    bool retireIfStalled() override;

private:
    enum State : int { kIdle, kMixing, kRetired };
    explicit PortAudioOutput(MixSource& source)
        : source_(source) {}
    friend struct PortAudioCallback;
    // The work of one device callback; returns false once retired.
    bool mixPeriod(StereoFrame* out, unsigned long frames);

    MixSource& source_;
    void* stream_ = nullptr;
    std::atomic<int> state_{kIdle};
    std::atomic<std::uint64_t> callbacks_{0};
    bool askedRealtime_ = false; // the callback thread's own
    // RetireIfStalled's own record of the last callback count it saw.
    std::uint64_t seenCallbacks_ = 0;
    std::chrono::steady_clock::time_point seenAt_ = std::chrono::steady_clock::now();
};

} // namespace audio
