#pragma once

#include "platform/audio/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_io_event;

namespace audio {

// The desktop's sound server (PulseAudio, or PipeWire's pulse server)
// through libpulse's asynchronous API: one playback stream, 44.1 kHz stereo
// float, filled from the mix whenever the server asks for more.
//
// Why not PortAudio: behind ALSA's pulse plugin the sound passes through a
// client loop that is not real-time and a 20 ms buffer, so other real-time
// work on the machine starved it into 23-31 ms gaps twice a second. Here
// the server asks this stream's own loop (made real-time on its first
// request) and keeps the buffer itself.
//
// The server-side buffer starts at kStartBuffer, short enough that a deck
// started during play is heard within about that time, and doubles after
// every underrun while a deck plays, up to kLargestBuffer: a machine that
// starves the loop once gets a deeper buffer for the rest of the run instead
// of a dropout every time. It doubles too when the server asks for three
// quarters of it at once, a near miss that comes before the first gap. While no deck plays the
// stream rests (corked, no requests, no wake-ups); Wake resumes it with the queued silence dropped,
// and Flush drops what is queued once the last deck stopped, so Stop is
// silent at once.
class PulseOutput final : public DeviceOutput {
public:
    static constexpr std::chrono::milliseconds kStartBuffer{250};
    static constexpr std::chrono::milliseconds kLargestBuffer{2000};
    // What the first fill after a rest queues (see Resume).
    static constexpr std::chrono::milliseconds kStartDepth{1000};
    // How long the server may take to accept the connection and the stream.
    static constexpr std::chrono::milliseconds kConnectLimit{3000};
    // A server that asks for nothing this long while the stream plays has
    // stopped (hung, or gone without telling).
    static constexpr std::chrono::milliseconds kStallLimit{2000};
    // Silence written before the stream rests: covers the last deck's tail.
    static constexpr std::chrono::milliseconds kSilenceBeforeRest{500};

    // The stream connected but corked and not yet asking the mix, or nullptr
    // with the reason in *why (no server, refused, too slow).
    static std::unique_ptr<PulseOutput> open(MixSource& source, std::string* why);
    ~PulseOutput() override;
    const char* name() const override { return "pulse"; }

    bool begin(std::string* why) override;
    bool retireIfStalled() override;
    void wake() override;
    void flush() override;
    bool restsWhenIdle() const override { return true; }
    // The buffer now asked of the server, in milliseconds.
    int bufferMs() const override { return bufferMs_.load(std::memory_order_relaxed); }

private:
    explicit PulseOutput(MixSource& source)
        : source_(source) {}
    struct Callbacks;
    bool waitUntilReady(const std::function<bool()>& ready, std::string* why);
    // Writes what the server asks for, and at least atLeastBytes.
    void fill(std::size_t atLeastBytes = 0);
    void rest();
    void resume();
    void growBuffer();
    void handleWakeUps();

    MixSource& source_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    int wakeFd_ = -1;
    pa_io_event* wakeEvent_ = nullptr;
    std::atomic<bool> failed_{false};
    std::atomic<bool> flushWanted_{false};
    std::atomic<int> bufferMs_{0};
    std::atomic<std::int64_t> lastRequestNs_{0};
    bool timedOut_ = false;
    // The loop thread's own (or under the loop's lock):
    bool began_ = false;
    bool retired_ = false;
    std::atomic<bool> resting_{false};
    bool askedRealtime_ = false;
    bool refilledSinceResume_ = false;
    std::size_t silentFrames_ = 0;
    std::uint32_t targetBytes_ = 0;
};

} // namespace audio
