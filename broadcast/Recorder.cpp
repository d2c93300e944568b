#include "broadcast/Recorder.h"

#include "broadcast/Audio.h"
#include "platform/ThreadHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <cstring>

using namespace wavein;

namespace {

QEvent::Type RequeueEventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

void TRecorderWindow::PostRequeue(TRecorderWindow* window) {
    auto* event = new QEvent(RequeueEventType());
    MarkHandOff(window);
    QCoreApplication::postEvent(window, event);
}

bool TRecorderWindow::event(QEvent* event) {
    MarkReceipt(this);
    if (event->type() != RequeueEventType())
        return QObject::event(event);
    recorder_.Requeue();
    return true;
}

TRecorder::TRecorder(TAudio& owner)
    : TAudioSettings(owner)
    , window_(new TRecorderWindow(*this)) {}

TRecorder::~TRecorder() {
    // Pending re-queue messages die with the window.
    delete window_;
}

void TRecorder::SetNoSamples(std::uint16_t value) {
    Owner.Player().ApplyNoSamples(value);
    ApplyNoSamples(value);
}

void TRecorder::SetSplitChannels(bool value) {
    splitChannels_ = value;
    ApplySplitRule();
}

void TRecorder::ApplySplitRule() {
    if (channels_ == TChannels::Mono)
        splitChannels_ = false;
}

void TRecorder::Composed(const std::string& message, MMRESULT result) {
    char text[255];
    text[0] = '\0';
    waveInGetErrorTextA(result, text, sizeof text);
    Owner.ErrorText = text[0] ? message + " " + text : message;
}

bool TRecorder::OpenDevice() {
    if (IsOpen)
        return true;
    AddIndex = 0;
    DoneIndex = 0;
    WaveInCallback callback;
    callback.flags = CALLBACK_FUNCTION | WAVE_ALLOWSYNC;
    callback.function = &TRecorder::DataPath;
    callback.instance = reinterpret_cast<std::uintptr_t>(this);
    if (const MMRESULT r = waveInOpen(&Handle, Owner.AudioDeviceID(), Format, callback)) {
        CloseDevice();
        Composed("Could not open the input device for recording: ", r);
        return false;
    }
    IsOpen = true;
    for (int i = 0; i < kRingSize; ++i) {
        *Headers[i] = WAVEHDR{};
        Headers[i]->lpData = Buffers[i];
        Headers[i]->dwBufferLength = BufferSize;
    }
    for (int i = 0; i < kRingSize; ++i) {
        if (const MMRESULT r = waveInPrepareHeader(Handle, Headers[i], sizeof(WAVEHDR))) {
            CloseDevice();
            Composed("Error preparing header for recording: ", r);
            return false;
        }
    }
    if (!AddNextBuffer()) {
        Owner.ErrorText = "Error adding next input buffer";
        return false;
    }
    return true;
}

bool TRecorder::Start() {
    if (!OpenDevice())
        return false;
    if (const MMRESULT r = waveInStart(Handle)) {
        Composed("Error starting wave record: ", r);
        CloseDevice();
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!AddNextBuffer()) {
            Owner.ErrorText = "Error adding next input buffer";
            return false;
        }
    }
    return true;
}

bool TRecorder::Stop() {
    Active = false;
    return CloseDevice();
}

bool TRecorder::AddNextBuffer() {
    if (const MMRESULT r = waveInAddBuffer(Handle, Headers[AddIndex], sizeof(WAVEHDR))) {
        Stop();
        Composed("Error adding input buffer", r);
        return false;
    }
    AddIndex = (AddIndex + 1) % kRingSize;
    return true;
}

bool TRecorder::CloseDevice() {
    if (!IsOpen) {
        Owner.ErrorText = "Recorder already closed";
        return true;
    }
    if (waveInReset(Handle)) {
        Owner.ErrorText = "Error in waveInReset";
        return false;
    }
    for (int i = 0; i < kRingSize; ++i) {
        if (const MMRESULT r = waveInUnprepareHeader(Handle, Headers[i], sizeof(WAVEHDR))) {
            Composed("Error in waveInUnprepareHeader", r);
            return false;
        }
    }
    if (waveInClose(Handle)) {
        Owner.ErrorText = "Error closing input device";
        return false;
    }
    Handle = nullptr;
    IsOpen = false;
    return true;
}

void TRecorder::DataPath(HWAVEIN, unsigned msg, std::uintptr_t instance, std::uintptr_t,
                         std::uintptr_t) {
    auto* recorder = reinterpret_cast<TRecorder*>(instance);
    switch (msg) {
    case MM_WIM_OPEN:
        recorder->Active = true;
        break;
    case MM_WIM_CLOSE:
        recorder->Active = false;
        break;
    case MM_WIM_DATA:
        if (recorder->Active)
            recorder->BufferDone();
        break;
    default:
        break;
    }
}

// Capture thread: deliver the buffer the device is expected to return next
// (buffers come back in the order they were added), then ask the main thread
// to queue it again. Nothing here allocates, waits on the main thread or
// touches files.
void TRecorder::BufferDone() {
    char* lp = Buffers[DoneIndex];
    char* rp = RightBuffers[DoneIndex];
    const auto n = std::uint16_t(Headers[DoneIndex]->dwBytesRecorded & 0xFFFF);
    if (CheckTrigger(lp, n) && Owner.OnRecord) {
        if (splitChannels_) {
            SplitStereo(lp, rp, n);
            Owner.OnRecord(*this, lp, rp, std::uint16_t(n / 2));
        } else {
            Owner.OnRecord(*this, lp, nullptr, n);
        }
    }
    if (n > 0) {
        TRecorderWindow::PostRequeue(window_);
        DoneIndex = (DoneIndex + 1) % kRingSize;
    }
}

void TRecorder::Requeue() {
    if (IsOpen)
        AddNextBuffer();
}

bool TRecorder::CheckTrigger(const char* data, std::uint16_t n) {
    if (triggered_)
        return true;
    if (n == 0)
        return false;
    const auto level = std::int16_t(trigLevel_);
    if (bitsPerSample_ == TBPS::_16) {
        for (std::uint16_t i = 0; i + 1 < n; i += 2) {
            std::int16_t sample;
            std::memcpy(&sample, data + i, 2);
            if (sample >= level) {
                triggered_ = true;
                break;
            }
        }
    } else {
        for (std::uint16_t i = 0; i < n; ++i) {
            if (std::int16_t(std::uint8_t(data[i])) >= level) {
                triggered_ = true;
                break;
            }
        }
    }
    return triggered_;
}

void TRecorder::SplitStereo(char* lp, char* rp, std::uint16_t n) {
    if (n == 0)
        return;
    n = std::uint16_t(n / 2);
    if (bitsPerSample_ == TBPS::_8) {
        for (std::uint16_t i = 0; i < n; ++i) {
            lp[i] = lp[2 * i];
            rp[i] = lp[2 * i + 1];
        }
    } else {
        for (std::uint16_t i = 0; i < n / 2; ++i) {
            std::memmove(lp + 2 * i, lp + 4 * i, 2);
            std::memcpy(rp + 2 * i, lp + 4 * i + 2, 2);
        }
    }
}
