#include "platform/audio/PortAudioOutput.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <portaudio.h>

namespace audio {

namespace {

int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
             PaStreamCallbackFlags, void* user) {
    static_cast<MixSource*>(user)->MixOutput(static_cast<StereoFrame*>(output), frames);
    return paContinue;
}

// PortAudio probes every ALSA device it can name; without a sound card ALSA
// prints a line for each failure. Those lines say nothing to the user: we
// report the outcome once ourselves.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

} // namespace

std::unique_ptr<PortAudioOutput> PortAudioOutput::Start(MixSource& source, std::string* why) {
    snd_lib_error_set_handler(&QuietAlsa);
    PaError err = Pa_Initialize();
    if (err != paNoError) {
        snd_lib_error_set_handler(nullptr);
        *why = Pa_GetErrorText(err);
        return nullptr;
    }
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    PaStream* stream = nullptr;
    if (device == paNoDevice) {
        *why = "no output device";
    } else {
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 2;
        params.sampleFormat = paFloat32;
        // A little more than the device's low latency keeps a sound server
        // from running dry when the machine is busy.
        params.suggestedLatency = std::max(Pa_GetDeviceInfo(device)->defaultLowOutputLatency, 0.04);
        err = Pa_OpenStream(&stream, nullptr, &params, kOutputRate, paFramesPerBufferUnspecified,
                            paNoFlag, &Callback, &source);
        if (err == paNoError)
            err = Pa_StartStream(stream);
        if (err != paNoError) {
            *why = Pa_GetErrorText(err);
            if (stream)
                Pa_CloseStream(stream);
            stream = nullptr;
        }
    }
    snd_lib_error_set_handler(nullptr);
    if (!stream) {
        Pa_Terminate();
        return nullptr;
    }
    return std::unique_ptr<PortAudioOutput>(new PortAudioOutput(stream));
}

PortAudioOutput::~PortAudioOutput() {
    // Stop waits for the callback to return; nothing mixes after this.
    Pa_StopStream(static_cast<PaStream*>(stream_));
    Pa_CloseStream(static_cast<PaStream*>(stream_));
    Pa_Terminate();
}

} // namespace audio
