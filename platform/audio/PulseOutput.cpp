#include "platform/audio/PulseOutput.h"

#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"

#include <algorithm>
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace audio {

namespace {

constexpr std::uint32_t bytesOf(std::chrono::milliseconds span) {
    return static_cast<std::uint32_t>(span.count() * kOutputRate / 1000 * sizeof(StereoFrame));
}

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void drop(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

// libpulse calls back on its loop thread, with the loop's lock held.
struct PulseOutput::Callbacks {
    // A context or stream that failed or ended retires the output; either
    // change wakes whoever waits for the connection.
    static void stateChanged(PulseOutput* out, bool ended) {
        if (ended)
            out->failed_.store(true);
        pa_threaded_mainloop_signal(out->loop_, 0);
    }
    static void contextState(pa_context* context, void* self) {
        const pa_context_state_t state = pa_context_get_state(context);
        stateChanged(static_cast<PulseOutput*>(self),
                     state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED);
    }
    static void streamState(pa_stream* stream, void* self) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        stateChanged(static_cast<PulseOutput*>(self),
                     state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED);
    }
    static void write(pa_stream*, size_t, void* self) { static_cast<PulseOutput*>(self)->fill(); }
    static void underflow(pa_stream*, void* self) {
        auto* out = static_cast<PulseOutput*>(self);
        if (!out->began_ || out->resting_ || !out->source_.anyDeckPlaying())
            return;
        countUnderrun();
        out->growBuffer();
    }
    static void connectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                               void* self) {
        auto* out = static_cast<PulseOutput*>(self);
        out->timedOut_ = true;
        pa_threaded_mainloop_signal(out->loop_, 0);
    }
    static void wakeUp(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* self) {
        static_cast<PulseOutput*>(self)->handleWakeUps();
    }
};

std::unique_ptr<PulseOutput> PulseOutput::open(MixSource& source, std::string* why) {
    std::unique_ptr<PulseOutput> out(new PulseOutput(source));
    out->loop_ = pa_threaded_mainloop_new();
    out->wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!out->loop_ || out->wakeFd_ < 0) {
        *why = "cannot start the sound server's client loop";
        return nullptr;
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(out->loop_);
    out->context_ = pa_context_new(api, "Kolvadeck");
    if (!out->context_) {
        *why = "cannot make a sound server client";
        return nullptr;
    }
    pa_context_set_state_callback(out->context_, &Callbacks::contextState, out.get());
    // Never starts a server of its own: where none runs, PortAudio and ALSA
    // are the fallback.
    if (pa_context_connect(out->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        *why = std::string("no sound server: ") + pa_strerror(pa_context_errno(out->context_));
        return nullptr;
    }
    if (pa_threaded_mainloop_start(out->loop_) < 0) {
        *why = "cannot start the sound server's client loop";
        return nullptr;
    }
    pa_threaded_mainloop_lock(out->loop_);
    pa_time_event* limit = pa_context_rttime_new(
        out->context_,
        pa_rtclock_now() + pa_usec_t(std::chrono::microseconds(kConnectLimit).count()),
        &Callbacks::connectTimeout, out.get());
    bool ok = out->waitUntilReady(
        [&] { return pa_context_get_state(out->context_) == PA_CONTEXT_READY; }, why);
    if (ok) {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kOutputRate, 2};
        out->stream_ = pa_stream_new(out->context_, "Decks", &format, nullptr);
        ok = out->stream_ != nullptr;
    }
    if (ok) {
        pa_stream_set_state_callback(out->stream_, &Callbacks::streamState, out.get());
        pa_stream_set_write_callback(out->stream_, &Callbacks::write, out.get());
        pa_stream_set_underflow_callback(out->stream_, &Callbacks::underflow, out.get());
        out->targetBytes_ = bytesOf(kStartBuffer);
        out->bufferMs_.store(int(kStartBuffer.count()));
        pa_buffer_attr attr{};
        attr.maxlength = bytesOf(kLargestBuffer) * 2;
        attr.tlength = out->targetBytes_;
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(-1);
        // The buffer asked is the whole latency (ADJUST_LATENCY); corked until
        // Begin, so that the previous output alone consumes the mix until then.
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
        ok = pa_stream_connect_playback(out->stream_, nullptr, &attr, flags, nullptr, nullptr) ==
                 0 &&
             out->waitUntilReady(
                 [&] { return pa_stream_get_state(out->stream_) == PA_STREAM_READY; }, why);
    }
    if (ok) {
        out->wakeEvent_ =
            api->io_new(api, out->wakeFd_, PA_IO_EVENT_INPUT, &Callbacks::wakeUp, out.get());
    }
    if (limit)
        api->time_free(limit);
    pa_threaded_mainloop_unlock(out->loop_);
    if (!ok && why->empty())
        *why = std::string("the sound server refused the stream: ") +
               pa_strerror(pa_context_errno(out->context_));
    return ok ? std::move(out) : nullptr;
}

// With the loop's lock held; waits (off the window's thread: the engine
// opens devices on its own thread) until ready() or a failure or the limit.
bool PulseOutput::waitUntilReady(const std::function<bool()>& ready, std::string* why) {
    while (!ready()) {
        if (failed_.load()) {
            *why =
                std::string("the sound server refused: ") + pa_strerror(pa_context_errno(context_));
            return false;
        }
        if (timedOut_) {
            *why = "the sound server did not answer in time";
            return false;
        }
        pa_threaded_mainloop_wait(loop_); // wait-ok: the engine's device thread, bounded
    }
    return true;
}

PulseOutput::~PulseOutput() {
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        if (wakeEvent_)
            pa_threaded_mainloop_get_api(loop_)->io_free(wakeEvent_);
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool PulseOutput::begin(std::string* why) {
    pa_threaded_mainloop_lock(loop_);
    const bool ok = !failed_.load();
    if (ok) {
        began_ = true;
        lastRequestNs_.store(nowNs());
        drop(pa_stream_cork(stream_, 0, nullptr, nullptr));
        wake(); // the first fill comes from the loop's own thread
    } else {
        *why = "the sound server went away";
    }
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}

bool PulseOutput::retireIfStalled() {
    const bool stalled =
        failed_.load() ||
        (began_ && !resting_.load() &&
         nowNs() - lastRequestNs_.load() >
             std::chrono::duration_cast<std::chrono::nanoseconds>(kStallLimit).count());
    if (!stalled)
        return false;
    // Under the lock: no fill is in progress, and none will call the mix.
    pa_threaded_mainloop_lock(loop_);
    retired_ = true;
    pa_threaded_mainloop_unlock(loop_);
    return true;
}

void PulseOutput::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void PulseOutput::flush() {
    flushWanted_.store(true);
    wake();
}

// Loop thread: the mix straight into the server's memory.
void PulseOutput::fill(std::size_t atLeastBytes) {
    lastRequestNs_.store(nowNs(), std::memory_order_relaxed);
    if (!began_ || retired_ || resting_ || failed_.load(std::memory_order_relaxed))
        return;
    // The loop's thread carries the sound: it runs before ordinary work
    // (asked once, on that thread; Resume may fill from elsewhere).
    if (!askedRealtime_ && pa_threaded_mainloop_in_thread(loop_)) {
        askedRealtime_ = true;
        requestRealtimeScheduling();
    }
    std::size_t bytes = pa_stream_writable_size(stream_);
    if (bytes == std::size_t(-1))
        return;
    // The server asks for most of the buffer at once: what it held nearly ran
    // out before it could ask (it was kept from running). That comes before
    // an underrun on a machine that starves the server now and then, so the
    // buffer deepens now rather than after the first gap.
    const bool nearMiss = refilledSinceResume_ && source_.anyDeckPlaying() &&
                          bytes * 4 >= std::size_t(targetBytes_) * 3;
    refilledSinceResume_ = true;
    if (nearMiss)
        growBuffer();
    // The server takes more than it asked for: it plays it all, later.
    bytes = std::max(bytes, atLeastBytes);
    std::size_t frames = 0;
    while (frames * sizeof(StereoFrame) < bytes) {
        void* data = nullptr;
        std::size_t chunk = bytes - frames * sizeof(StereoFrame);
        if (pa_stream_begin_write(stream_, &data, &chunk) < 0 || !data ||
            chunk < sizeof(StereoFrame))
            break;
        const std::size_t n = chunk / sizeof(StereoFrame);
        source_.mixOutput(static_cast<StereoFrame*>(data), n);
        pa_stream_write(stream_, data, n * sizeof(StereoFrame), nullptr, 0, PA_SEEK_RELATIVE);
        frames += n;
    }
    if (frames == 0)
        return;
    if (source_.anyDeckPlaying())
        silentFrames_ = 0;
    else
        silentFrames_ += frames;
    if (silentFrames_ * 1000 >= std::size_t(kSilenceBeforeRest.count()) * kOutputRate)
        rest();
}

// Corks the stream with its queued silence dropped, so that the deck that
// wakes it is heard after the server's own latency only. The flush is made
// here and not on waking: it is answered by the server later, and a fill
// made before that answer would find no room and let the stream run dry.
void PulseOutput::rest() {
    resting_ = true;
    drop(pa_stream_flush(stream_, nullptr, nullptr));
    drop(pa_stream_cork(stream_, 1, nullptr, nullptr));
}

// Prebuffering holds playback back until the first fill is in. That fill
// is up to kStartDepth deep, more than the server asked for: a stream's first
// moments are when a busy server most often comes late (the gaps under the
// benchmark's stress all fell in the first 200 ms), and while it plays what
// is queued no request is needed. The queue then drains to the buffer's
// target. The first deck is heard at once all the same; only a change made
// in the first moments waits for what is queued.
void PulseOutput::resume() {
    // Dated before the rest ends, so the stall check never sees a rest's age.
    lastRequestNs_.store(nowNs());
    resting_ = false;
    refilledSinceResume_ = false; // the first fill after a rest fills the whole buffer
    silentFrames_ = 0;
    drop(pa_stream_cork(stream_, 0, nullptr, nullptr));
    // No deeper than the decks have decoded: a deck that had only just been
    // opened would otherwise run short in the first fill and leave a gap.
    const std::size_t ready = source_.framesReady();
    fill(ready == SIZE_MAX
             ? bytesOf(kStartDepth)
             : std::min<std::size_t>(bytesOf(kStartDepth), ready * sizeof(StereoFrame)));
}

void PulseOutput::growBuffer() {
    const std::uint32_t largest = bytesOf(kLargestBuffer);
    if (targetBytes_ >= largest)
        return;
    targetBytes_ = std::min(targetBytes_ * 2, largest);
    refilledSinceResume_ = false; // the next request asks for the new room too
    bufferMs_.store(
        int(std::int64_t(targetBytes_) * 1000 / (kOutputRate * std::int64_t(sizeof(StereoFrame)))));
    pa_buffer_attr attr{};
    attr.maxlength = largest * 2;
    attr.tlength = targetBytes_;
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(-1);
    drop(pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr));
}

void PulseOutput::handleWakeUps() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
    if (!began_ || retired_)
        return;
    if (flushWanted_.exchange(false) && !resting_ && !source_.anyDeckPlaying()) {
        // The last deck stopped: its queued tail goes.
        rest();
        return;
    }
    if (resting_ && source_.anyDeckPlaying())
        resume();
    else
        fill();
}

} // namespace audio
