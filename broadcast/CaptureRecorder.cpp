#include "broadcast/CaptureRecorder.h"

#include "broadcast/AudioCapture.h"
#include "platform/ThreadHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cstring>

namespace {

QEvent::Type RequeueEventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

void RecorderRequeueReceiver::PostRequeue(RecorderRequeueReceiver* window) {
    auto* event = new QEvent(RequeueEventType());
    MarkHandOff(window);
    QCoreApplication::postEvent(window, event);
}

bool RecorderRequeueReceiver::event(QEvent* event) {
    MarkReceipt(this);
    if (event->type() != RequeueEventType())
        return QObject::event(event);
    recorder_.Requeue();
    return true;
}

CaptureRecorder::CaptureRecorder(AudioCapture& owner)
    : BroadcastFormat(owner)
    , window_(new RecorderRequeueReceiver(*this)) {}

CaptureRecorder::~CaptureRecorder() {
    // Pending re-queue messages die with the window.
    delete window_;
}

void CaptureRecorder::SetNoSamples(std::uint16_t value) {
    ApplyNoSamples(value);
}

void CaptureRecorder::SetSplitChannels(bool value) {
    splitChannels_ = value;
    ApplySplitRule();
}

void CaptureRecorder::ApplySplitRule() {
    if (channels_ == ChannelMode::Mono)
        splitChannels_ = false;
}

void CaptureRecorder::Composed(const std::string& message, const audio::Status& status) {
    Owner.ErrorText = message + " " + status.error();
}

bool CaptureRecorder::OpenDevice() {
    if (IsOpen)
        return true;
    AddIndex = 0;
    DoneIndex = 0;
    queued_ = 0;
    // A block size that wrapped to 0 in its 16 bits, or buffers that could
    // not be allocated, leave nothing to record into.
    if (BufferSize == 0 || !Buffers[0]) {
        Owner.ErrorText = "Error adding next input buffer";
        return false;
    }
    const audio::Status opened = audio::OpenInputCapture(
        Owner.AudioDeviceID(), Format, BufferSize,
        [this](std::span<const char> block) { BlockRecorded(block); }, capture_);
    if (!opened) {
        Composed("Could not open the input device for recording: ", opened);
        return false;
    }
    IsOpen = true;
    Active = true;
    AddNextBuffer();
    return true;
}

bool CaptureRecorder::Start() {
    if (!OpenDevice())
        return false;
    if (const audio::Status started = capture_->start(); !started) {
        Composed("Error starting wave record: ", started);
        CloseDevice();
        return false;
    }
    for (int i = 0; i < 3; ++i)
        AddNextBuffer();
    return true;
}

bool CaptureRecorder::Stop() {
    Active = false;
    return CloseDevice();
}

void CaptureRecorder::AddNextBuffer() {
    ++queued_;
    AddIndex = (AddIndex + 1) % kRingSize;
}

bool CaptureRecorder::CloseDevice() {
    if (!IsOpen) {
        Owner.ErrorText = "Recorder already closed";
        return true;
    }
    capture_.reset(); // stops it: no block is recorded after this
    queued_ = 0;
    IsOpen = false;
    Active = false;
    return true;
}

// Capture thread: fill the buffer queued first (buffers are taken in the
// order they were queued) and deliver it, then ask the main thread to queue
// it again. Nothing here allocates, waits on the main thread or touches files.
void CaptureRecorder::BlockRecorded(std::span<const char> block) {
    if (!Active || queued_ == 0)
        return; // no buffer queued: the block is lost
    --queued_;
    char* lp = Buffers[DoneIndex];
    char* rp = RightBuffers[DoneIndex];
    const auto n = std::uint16_t(std::min<std::size_t>(block.size(), BufferSize));
    std::memcpy(lp, block.data(), n);
    if (CheckTrigger(lp, n) && Owner.OnRecord) {
        if (splitChannels_) {
            SplitStereo(lp, rp, n);
            Owner.OnRecord(*this, lp, rp, std::uint16_t(n / 2));
        } else {
            Owner.OnRecord(*this, lp, nullptr, n);
        }
    }
    RecorderRequeueReceiver::PostRequeue(window_);
    DoneIndex = (DoneIndex + 1) % kRingSize;
}

void CaptureRecorder::Requeue() {
    if (IsOpen)
        AddNextBuffer();
}

bool CaptureRecorder::CheckTrigger(const char* data, std::uint16_t n) {
    if (triggered_)
        return true;
    if (n == 0)
        return false;
    const auto level = std::int16_t(trigLevel_);
    if (bitsPerSample_ == SampleDepth::_16) {
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

void CaptureRecorder::SplitStereo(char* lp, char* rp, std::uint16_t n) {
    if (n == 0)
        return;
    n = std::uint16_t(n / 2);
    if (bitsPerSample_ == SampleDepth::_8) {
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
