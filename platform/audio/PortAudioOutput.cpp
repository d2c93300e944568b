#include "platform/audio/PortAudioOutput.h"

#include "platform/audio/PortAudioSection.h"
#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"

#include <algorithm>
#include <portaudio.h>

namespace audio {

// The state moves kIdle -> kMixing -> kIdle around each mix, so a retirement
// (kIdle -> kRetired) can never happen in the middle of one.
bool PortAudioOutput::mixPeriod(StereoFrame* out, unsigned long frames) {
    if (!askedRealtime_) {
        askedRealtime_ = true;
        requestRealtimeScheduling();
    }
    int idle = kIdle;
    if (!state_.compare_exchange_strong(idle, kMixing, std::memory_order_acquire)) {
        std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
        return false;
    }
    source_.mixOutput(out, frames);
    callbacks_.fetch_add(1, std::memory_order_relaxed);
    state_.store(kIdle, std::memory_order_release);
    return true;
}

struct PortAudioCallback {
    static int run(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags flags, void* user) {
        auto* self = static_cast<PortAudioOutput*>(user);
        // Running dry while nothing plays is no dropout anyone hears.
        if ((flags & paOutputUnderflow) && self->source_.anyDeckPlaying())
            countUnderrun();
        return self->mixPeriod(static_cast<StereoFrame*>(output), frames) ? paContinue : paComplete;
    }
};

bool PortAudioOutput::retireIfStalled() {
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t count = callbacks_.load(std::memory_order_relaxed);
    if (count != seenCallbacks_) {
        seenCallbacks_ = count;
        seenAt_ = now;
        return false;
    }
    if (now - seenAt_ < (count == 0 ? kFirstCallbackLimit : kStallLimit))
        return false;
    int idle = kIdle;
    return state_.compare_exchange_strong(idle, kRetired, std::memory_order_acq_rel) ||
           idle == kRetired;
}

std::unique_ptr<PortAudioOutput> PortAudioOutput::start(MixSource& source, std::string* why) {
    auto output = open(source, why);
    if (output && !output->begin(why))
        output.reset();
    return output;
}

std::unique_ptr<PortAudioOutput> PortAudioOutput::open(MixSource& source, std::string* why) {
    PortAudioSection section;
    PaError err = Pa_Initialize();
    if (err != paNoError) {
        *why = Pa_GetErrorText(err);
        return nullptr;
    }
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    std::unique_ptr<PortAudioOutput> output(new PortAudioOutput(source));
    PaStream* stream = nullptr;
    if (device == paNoDevice) {
        *why = "no output device";
    } else {
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 2;
        params.sampleFormat = paFloat32;
        // 20 ms of buffer, chosen by measurement (bench_play_latency, two
        // decks under two CPU burners on a 2-core machine, this thread and
        // the sound library's threads real-time): 10 ms dropped out ~7
        // times a minute, 20 ms not once in two runs, and play-to-sound is
        // 20 ms instead of the 45 ms of the former 40 ms request.
        // The buffer is refilled in small periods: left to PortAudio it
        // chose periods so long that the server ran dry whenever one refill
        // was late (54 gaps in two minutes at a load of 10); in 128-frame
        // steps the same load gave 0-3, as good as a real-time aplay.
        params.suggestedLatency =
            std::max(Pa_GetDeviceInfo(device)->defaultLowOutputLatency, kSuggestedLatency);
        const std::vector<int> threadsBefore = threadIds();
        err = Pa_OpenStream(&stream, nullptr, &params, kOutputRate, kFramesPerPeriod, paNoFlag,
                            &PortAudioCallback::run, output.get());
        if (err == paNoError)
            requestRealtimeSchedulingFor(threadsBefore, threadIds());
        if (err != paNoError) {
            *why = Pa_GetErrorText(err);
            stream = nullptr;
        }
    }
    if (!stream) {
        Pa_Terminate();
        return nullptr;
    }
    output->stream_ = stream;
    return output;
}

bool PortAudioOutput::begin(std::string* why) {
    PortAudioSection section;
    const PaError err = Pa_StartStream(static_cast<PaStream*>(stream_));
    if (err != paNoError)
        *why = Pa_GetErrorText(err);
    return err == paNoError;
}

PortAudioOutput::~PortAudioOutput() {
    if (!stream_)
        return; // Open failed; it already let PortAudio go
    // Stop waits for the callback to return; nothing mixes after this (on a
    // stream that never began it does nothing).
    PortAudioSection section;
    Pa_StopStream(static_cast<PaStream*>(stream_));
    Pa_CloseStream(static_cast<PaStream*>(stream_));
    Pa_Terminate();
}

} // namespace audio
