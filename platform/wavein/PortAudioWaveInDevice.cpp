#include "platform/wavein/PortAudioWaveInDevice.h"

#include <memory>
#include <portaudio.h>
#include <vector>

namespace wavein {
namespace {

constexpr unsigned long kFramesPerRead = 512; // ~12 ms at 44.1 kHz
constexpr long kPollMs = 4;

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
    if (Pa_StartStream(stream_) != paNoError)
        return MMSYSERR_ERROR;
    running_ = true;
    thread_ = std::thread([this] { CaptureLoop(); });
    return MMSYSERR_NOERROR;
}

void PortAudioWaveInDevice::StopSource() {
    if (!running_.exchange(false))
        return;
    if (thread_.joinable())
        thread_.join();
    Pa_StopStream(stream_);
}

void PortAudioWaveInDevice::CaptureLoop() {
    std::vector<char> chunk(kFramesPerRead * Format().nBlockAlign);
    while (running_) {
        // Read only what is there, so that a stalled sound server can never
        // keep a reset or close waiting on this thread.
        const long available = Pa_GetStreamReadAvailable(stream_);
        if (available < 0)
            break;
        if (available < long(kFramesPerRead)) {
            Pa_Sleep(kPollMs);
            continue;
        }
        const PaError err = Pa_ReadStream(stream_, chunk.data(), kFramesPerRead);
        if (err != paNoError && err != paInputOverflowed)
            break;
        Deliver(chunk.data(), chunk.size());
    }
}

unsigned PortAudioInputCount() {
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
