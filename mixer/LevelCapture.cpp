#include "mixer/LevelCapture.h"

#include "platform/ThreadHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

// What the capture reports to the main thread.
class CaptureNotice : public QEvent {
public:
    enum Kind { Started, BufferFilled, Stopped };
    static QEvent::Type EventType() {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    CaptureNotice(Kind kind, int slot = -1)
        : QEvent(EventType())
        , kind(kind)
        , slot(slot) {}
    const Kind kind;
    const int slot;
};

// The notice is made before the hand-off is marked, so its receiver sees it
// whole.
void Post(QObject* receiver, CaptureNotice::Kind kind, int slot = -1) {
    auto* notice = new CaptureNotice(kind, slot);
    MarkHandOff(receiver);
    QCoreApplication::postEvent(receiver, notice);
}

} // namespace

InputDevice::InputDevice(QObject* owner)
    : QObject(owner) {
    format_.channels = 1;
    format_.rate = 22050;
    format_.sampleType = audio::SampleType::Int16;
    ApplyFormatRule();
    AllocateBuffers();
}

InputDevice::~InputDevice() {
    FreeBuffers();
}

void InputDevice::ApplyFormatRule() {
    bufferSize_ = requestedSize_ - requestedSize_ % format_.bytesPerFrame();
}

bool InputDevice::AllocateBuffers() {
    std::lock_guard lock(ringMutex_);
    for (int i = 0; i < numBuffers_; ++i) {
        if (buffers_[std::size_t(i)] && allocatedSize_[std::size_t(i)] >= bufferSize_)
            continue;
        buffers_[std::size_t(i)].reset(new (std::nothrow) char[std::size_t(bufferSize_)]);
        allocatedSize_[std::size_t(i)] = bufferSize_;
        if (!buffers_[std::size_t(i)]) {
            for (std::size_t j = 0; j < kRingSlots; ++j) {
                buffers_[j].reset();
                allocatedSize_[j] = 0;
            }
            lastErrorText_ = "Error allocating wave buffer memory";
            return false;
        }
    }
    return true;
}

void InputDevice::FreeBuffers() {
    std::lock_guard lock(ringMutex_);
    for (std::size_t i = 0; i < kRingSlots; ++i) {
        buffers_[i].reset();
        allocatedSize_[i] = 0;
    }
}

void InputDevice::SetBufferSize(int value) {
    requestedSize_ = std::max(value, 512);
    ApplyFormatRule();
    FreeBuffers();
    AllocateBuffers();
}

void InputDevice::SetNumBuffers(int value) {
    numBuffers_ = std::clamp(value, 2, kRingSlots);
}

void InputDevice::SetFrameRate(int value) {
    format_.rate = value;
    ApplyFormatRule();
}

void InputDevice::SetStereo(bool value) {
    format_.channels = value ? 2 : 1;
    ApplyFormatRule();
}

void InputDevice::SetQuantization(int value) {
    format_.sampleType = value <= 8 ? audio::SampleType::UInt8 : audio::SampleType::Int16;
    ApplyFormatRule();
}

void InputDevice::StopNow() {
    recording_ = false;
    capturing_ = false;
}

void InputDevice::StopWhenDrained() {
    capturing_ = false;
}

// ---------------------------------------------------------------------------

CaptureNoticeReceiver::CaptureNoticeReceiver(LevelCapture* owner, QObject* parent)
    : QObject(parent)
    , audioIn_(owner) {}

bool CaptureNoticeReceiver::event(QEvent* e) {
    MarkReceipt(this);
    if (e->type() != CaptureNotice::EventType())
        return QObject::event(e);
    const auto* notice = static_cast<CaptureNotice*>(e);
    switch (notice->kind) {
    case CaptureNotice::Started:
        if (audioIn_->OnStart)
            audioIn_->OnStart(this);
        break;
    case CaptureNotice::Stopped:
        if (audioIn_->OnStop)
            audioIn_->OnStop(this);
        break;
    case CaptureNotice::BufferFilled:
        // Buffers filled before a close belong to a closed capture.
        if (!retired_)
            audioIn_->BufferReturned(notice->slot);
        break;
    }
    return true;
}

// ---------------------------------------------------------------------------

LevelCapture::LevelCapture(QObject* owner)
    : InputDevice(owner) {}

LevelCapture::~LevelCapture() {
    // Close an open device before the base class frees the memory it writes to.
    if (deviceOpen_)
        StopNow();
    delete callbackWin_.data();
}

bool LevelCapture::StartCapture() {
    return OpenInput() && StartInput();
}

bool LevelCapture::OpenInput() {
    if (deviceOpen_) {
        lastErrorText_ = "Wave Input device is already open";
        return false;
    }
    currentSlot_ = 0;
    ApplyFormatRule();
    // A larger buffer size or more buffers than at the last allocation get
    // fresh memory here, so a block never goes past a buffer.
    if (!AllocateBuffers())
        return false;
    callbackWin_ = new CaptureNoticeReceiver(this, this);
    const audio::Status opened = audio::OpenInputCapture(
        waveDevice_, format_, std::size_t(bufferSize_),
        [this, receiver = callbackWin_.data()](std::span<const char> block) {
            TakeBlock(receiver, block);
        },
        capture_);
    if (!opened) {
        lastErrorText_ = opened.error();
        callbackWin_->deleteLater();
        callbackWin_ = nullptr;
        return false;
    }
    deviceOpen_ = true;
    Post(callbackWin_, CaptureNotice::Started);
    queuedCount_ = 0;
    capturing_ = true;
    recording_ = true;
    return true;
}

bool LevelCapture::StartInput() {
    if (const audio::Status started = capture_->start(); !started) {
        CloseInput();
        lastErrorText_ = "Error starting wave record: " + started.error();
        return false;
    }
    recording_ = true;
    for (int i = 0; i < numBuffers_; ++i)
        QueueBuffer();
    return true;
}

void LevelCapture::QueueBuffer() {
    {
        std::lock_guard lock(ringMutex_);
        queued_.push_back(currentSlot_);
    }
    currentSlot_ = (currentSlot_ + 1) % numBuffers_;
    ++queuedCount_;
}

void LevelCapture::TakeBlock(QObject* receiver, std::span<const char> block) {
    int slot;
    {
        std::lock_guard lock(ringMutex_);
        if (queued_.empty())
            return; // no buffer waits: the block is lost
        slot = queued_.front();
        queued_.pop_front();
        // A buffer size changed while open may have left the slot smaller or empty.
        if (char* buffer = buffers_[std::size_t(slot)].get())
            std::memcpy(buffer, block.data(),
                        std::min(std::size_t(allocatedSize_[std::size_t(slot)]), block.size()));
    }
    Post(receiver, CaptureNotice::BufferFilled, slot);
}

void LevelCapture::BufferReturned(int slot) {
    if (!deviceOpen_)
        return;
    --queuedCount_;
    recording_ = queuedCount_ > 0;
    // Buffers come back in the order they were queued, so this is normally
    // the current slot; after a refused buffer the ring no longer matches
    // that order, so the slot is taken from the notice.
    currentSlot_ = slot;
    const bool drained = !recording_;

    bool requeue = false;
    if (capturing_) {
        requeue = true;
        if (OnBufferFilled) {
            int size = bufferSize_;
            requeue = OnBufferFilled(buffers_[std::size_t(currentSlot_)].get(), size);
        }
    }
    if (!deviceOpen_)
        return; // the event stopped the capture
    if (requeue)
        QueueBuffer();
    if (drained) {
        capturing_ = false;
        CloseInput();
    }
}

void LevelCapture::CloseInput() {
    recording_ = false;
    if (!deviceOpen_)
        return;
    if (callbackWin_)
        callbackWin_->Retire();
    capture_.reset(); // stops it: no block is taken after this
    {
        std::lock_guard lock(ringMutex_);
        queued_.clear();
    }
    deviceOpen_ = false;
    if (callbackWin_) {
        Post(callbackWin_, CaptureNotice::Stopped);
        callbackWin_->deleteLater();
    }
    callbackWin_ = nullptr;
}

void LevelCapture::StopNow() {
    if (!deviceOpen_)
        return;
    recording_ = false;
    capturing_ = false;
    CloseInput();
}

void LevelCapture::StopWhenDrained() {
    if (deviceOpen_)
        capturing_ = false;
}
