#include "platform/capture/PortAudioInputCapture.h"

#include "platform/Workers.h"

#include "platform/audio/AudioLog.h"
#include "platform/audio/PortAudioSection.h"

#include <chrono>
#include <portaudio.h>
#include <string>
#include <vector>

namespace audio {
namespace {

constexpr unsigned long kFramesPerRead = 512; // ~12 ms at 44.1 kHz
constexpr long kPollMs = 4;
// A capture thread polls every few milliseconds; one that has not ended
// after this is stuck in the sound library.
constexpr auto kStopLimit = std::chrono::seconds(1);

// PortAudio index of the n-th device that can record, or of the default input.
int resolveDevice(int device) {
    if (device == InputCapture::kDefaultDevice)
        return Pa_GetDefaultInputDevice();
    int seen = 0;
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0 && seen++ == device)
            return i;
    }
    return paNoDevice;
}

Status failed(const std::string& what, PaError error) {
    return Status::failure(what + ": " + Pa_GetErrorText(error) + ".");
}

} // namespace

PortAudioInputCapture::PortAudioInputCapture(const CaptureFormat& format, std::size_t blockBytes,
                                             BlockHandler handler)
    : InputCapture(format, blockBytes, std::move(handler)) {}

PortAudioInputCapture::~PortAudioInputCapture() {
    stopSource();
    if (abandoned_)
        return; // closing the stream or PortAudio would wait on the stuck thread's lock
    PortAudioSection section;
    if (stream_)
        Pa_CloseStream(stream_);
    if (initialized_)
        Pa_Terminate();
}

Status PortAudioInputCapture::open(int paDevice) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paDevice);
    if (!info || info->maxInputChannels <= 0)
        return Status::failure("That sound input device does not exist.");
    const CaptureFormat& f = format();
    PaStreamParameters in{};
    in.device = paDevice;
    in.channelCount = f.channels;
    in.sampleFormat = f.sampleType == SampleType::UInt8 ? paUInt8 : paInt16;
    in.suggestedLatency = info->defaultLowInputLatency;
    PaStream* stream = nullptr;
    const PaError err =
        Pa_OpenStream(&stream, &in, nullptr, f.rate, kFramesPerRead, paNoFlag, nullptr, nullptr);
    if (err != paNoError)
        return failed("The sound input could not be opened", err);
    stream_ = stream;
    return Status::success();
}

Status PortAudioInputCapture::startSource() {
    if (abandoned_)
        return Status::failure("The sound input stopped responding.");
    if (PortAudioSection section; const PaError err = Pa_StartStream(stream_))
        return failed("The sound input could not start", err);
    threadState_ = std::make_shared<ThreadState>();
    workers::run([this, stream = stream_, state = threadState_] { captureLoop(stream, state); });
    return Status::success();
}

void PortAudioInputCapture::stopSource() {
    if (!threadState_)
        return;
    const std::shared_ptr<ThreadState> state = std::move(threadState_);
    bool ended = false;
    {
        std::unique_lock lock(state->mutex);
        state->running = false;
        ended = state->ended.wait_for(lock, kStopLimit, [&] { return state->finished; });
    }
    if (!ended) {
        abandoned_ = true;
        qCWarning(lcAudio, "the sound input stopped responding and was left behind");
        return;
    }
    PortAudioSection section;
    Pa_StopStream(stream_);
}

// Once state->running is false this touches nothing of the capture: it may
// already be gone.
void PortAudioInputCapture::captureLoop(void* stream, const std::shared_ptr<ThreadState>& state) {
    std::vector<char> chunk(kFramesPerRead * std::size_t(format().bytesPerFrame()));
    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            if (!state->running)
                break;
        }
        // Read only what is there, so that a stalled sound server can never
        // keep a stop waiting on this thread.
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
        deliver(chunk.data(), chunk.size());
    }
    {
        std::lock_guard lock(state->mutex);
        state->finished = true;
    }
    state->ended.notify_all();
}

int portAudioInputCount() {
    PortAudioSection section;
    if (Pa_Initialize() != paNoError)
        return 0;
    int count = 0;
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0)
            ++count;
    }
    Pa_Terminate();
    return count;
}

PortAudioReference::PortAudioReference() {
    PortAudioSection section;
    started_ = Pa_Initialize() == paNoError;
}

PortAudioReference::~PortAudioReference() {
    if (!started_)
        return;
    PortAudioSection section;
    Pa_Terminate();
}

Status openPortAudioInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                                 InputCapture::BlockHandler handler,
                                 std::unique_ptr<InputCapture>& capture) {
    PortAudioSection section;
    if (const PaError err = Pa_Initialize())
        return failed("There is no sound system to record from", err);
    auto opened = std::make_unique<PortAudioInputCapture>(format, blockBytes, std::move(handler));
    // From here the capture owns one PortAudio reference and releases it when destroyed.
    opened->markInitialized();
    const int paDevice = resolveDevice(device);
    if (paDevice == paNoDevice)
        return Status::failure(device == InputCapture::kDefaultDevice
                                   ? "There is no sound input to record from."
                                   : "That sound input device does not exist.");
    if (Status status = opened->open(paDevice); !status)
        return status;
    capture = std::move(opened);
    return Status::success();
}

} // namespace audio
