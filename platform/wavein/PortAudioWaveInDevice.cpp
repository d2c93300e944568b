#include "platform/wavein/PortAudioWaveInDevice.h"

#include "platform/audio/AudioLog.h"
#include "platform/audio/PortAudioSection.h"

#include <chrono>
#include <memory>
#include <portaudio.h>
#include <vector>

namespace wavein {
namespace {

constexpr unsigned long kFramesPerRead = 512; // ~12 ms at 44.1 kHz
constexpr long kPollMs = 4;
// A capture thread polls every few milliseconds; one that has not ended
// after this is stuck in the sound library.
constexpr auto kStopLimit = std::chrono::seconds(1);

// PortAudio index of the n-th device that can record, or of the default input.
int ResolveDevice(int device) {
    if (device == WAVE_MAPPER)
        return Pa_GetDefaultInputDevice();
    int seen = 0;
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0 && seen++ == device)
            return i;
    }
    return paNoDevice;
}

} // namespace

PortAudioWaveInDevice::PortAudioWaveInDevice(const WAVEFORMATEX& format,
                                             const WaveInCallback& callback)
    : WaveInDevice(format, callback) {}

PortAudioWaveInDevice::~PortAudioWaveInDevice() {
    StopSource();
    if (abandoned_)
        return; // closing the stream or PortAudio would wait on the stuck thread's lock
    audio::PortAudioSection section;
    if (stream_)
        Pa_CloseStream(stream_);
    if (initialized_)
        Pa_Terminate();
}

MMRESULT PortAudioWaveInDevice::Open(int paDevice) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paDevice);
    if (!info || info->maxInputChannels <= 0)
        return MMSYSERR_BADDEVICEID;
    const WAVEFORMATEX& f = Format();
    PaStreamParameters in{};
    in.device = paDevice;
    in.channelCount = f.nChannels;
    in.sampleFormat = f.wBitsPerSample == 8 ? paUInt8 : paInt16;
    in.suggestedLatency = info->defaultLowInputLatency;
    PaStream* stream = nullptr;
    const PaError err = Pa_OpenStream(&stream, &in, nullptr, f.nSamplesPerSec, kFramesPerRead,
                                      paNoFlag, nullptr, nullptr);
    if (err == paInvalidSampleRate || err == paSampleFormatNotSupported ||
        err == paInvalidChannelCount)
        return WAVERR_BADFORMAT;
    if (err == paDeviceUnavailable)
        return MMSYSERR_ALLOCATED;
    if (err != paNoError)
        return MMSYSERR_ERROR;
    stream_ = stream;
    return MMSYSERR_NOERROR;
}

MMRESULT PortAudioWaveInDevice::StartSource() {
    if (abandoned_)
        return MMSYSERR_ERROR;
    if (audio::PortAudioSection section; Pa_StartStream(stream_) != paNoError)
        return MMSYSERR_ERROR;
    capture_ = std::make_shared<CaptureState>();
    thread_ =
        std::thread([this, stream = stream_, state = capture_] { CaptureLoop(stream, state); });
    return MMSYSERR_NOERROR;
}

void PortAudioWaveInDevice::StopSource() {
    if (!capture_)
        return;
    const std::shared_ptr<CaptureState> state = std::move(capture_);
    bool ended = false;
    {
        std::unique_lock lock(state->mutex);
        state->running = false;
        ended = state->ended.wait_for(lock, kStopLimit, [&] { return state->finished; });
    }
    if (!ended) {
        thread_.detach();
        abandoned_ = true;
        qCWarning(lcAudio, "the sound input stopped responding and was left behind");
        return;
    }
    thread_.join();
    audio::PortAudioSection section;
    Pa_StopStream(stream_);
}

// Once state->running is false this touches nothing of the device: it may
// already be gone.
void PortAudioWaveInDevice::CaptureLoop(void* stream, const std::shared_ptr<CaptureState>& state) {
    std::vector<char> chunk(kFramesPerRead * Format().nBlockAlign);
    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            if (!state->running)
                break;
        }
        // Read only what is there, so that a stalled sound server can never
        // keep a reset or close waiting on this thread.
        const long available = Pa_GetStreamReadAvailable(stream);
        if (available < 0)
            break;
        if (available < long(kFramesPerRead)) {
            Pa_Sleep(kPollMs);
            continue;
        }
        const PaError err = Pa_ReadStream(stream, chunk.data(), kFramesPerRead);
        if (err != paNoError && err != paInputOverflowed)
            break;
        std::lock_guard lock(state->mutex);
        if (!state->running)
            break;
        Deliver(chunk.data(), chunk.size());
    }
    {
        std::lock_guard lock(state->mutex);
        state->finished = true;
    }
    state->ended.notify_all();
}

unsigned PortAudioInputCount() {
    audio::PortAudioSection section;
    if (Pa_Initialize() != paNoError)
        return 0;
    unsigned count = 0;
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0)
            ++count;
    }
    Pa_Terminate();
    return count;
}

MMRESULT OpenPortAudioWaveIn(HWAVEIN* handle, int device, const WAVEFORMATEX& format,
                             const WaveInCallback& callback) {
    audio::PortAudioSection section;
    if (Pa_Initialize() != paNoError)
        return MMSYSERR_NODRIVER;
    auto dev = std::make_unique<PortAudioWaveInDevice>(format, callback);
    // From here the device owns one PortAudio reference and releases it when destroyed.
    dev->MarkInitialized();
    const int paDevice = ResolveDevice(device);
    if (paDevice == paNoDevice)
        return device == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    if (const MMRESULT r = dev->Open(paDevice))
        return r;
    *handle = dev.release();
    return MMSYSERR_NOERROR;
}

} // namespace wavein
