#include "mixer/AudioIO2.h"

#include "platform/ThreadHandOff.h"
#include "platform/wavein/WaveInEvent.h"

#include <algorithm>
#include <new>

using namespace wavein;

TAudioIO2::TAudioIO2(QObject* owner)
    : QObject(owner) {
    format_.wFormatTag = WAVE_FORMAT_PCM;
    format_.nChannels = 1;
    format_.nSamplesPerSec = 22050;
    format_.wBitsPerSample = 16;
    format_.cbSize = 0;
    ApplyFormatRule();
    if (AllocateHeaders())
        AllocateBuffers();
}

TAudioIO2::~TAudioIO2() {
    FreeBuffers();
    FreeHeaders();
}

void TAudioIO2::ApplyFormatRule() {
    format_.nBlockAlign = std::uint16_t((format_.wBitsPerSample / 8) * format_.nChannels);
    format_.nAvgBytesPerSec = std::uint32_t(format_.nBlockAlign) * format_.nSamplesPerSec;
    bufferSize_ = requestedSize_ - requestedSize_ % format_.nBlockAlign;
}

bool TAudioIO2::AllocateHeaders() {
    for (auto& header : headers_) {
        header.reset(new (std::nothrow) WAVEHDR{});
        if (!header) {
            FreeHeaders();
            lastErrorText_ = "Error allocating wave header memory";
            return false;
        }
    }
    return true;
}

bool TAudioIO2::AllocateBuffers() {
    for (int i = 0; i < numBuffers_; ++i) {
        if (buffers_[std::size_t(i)] && allocatedSize_[std::size_t(i)] >= bufferSize_)
            continue;
        buffers_[std::size_t(i)].reset(new (std::nothrow) char[std::size_t(bufferSize_)]);
        allocatedSize_[std::size_t(i)] = bufferSize_;
        if (!buffers_[std::size_t(i)]) {
            FreeBuffers();
            lastErrorText_ = "Error allocating wave buffer memory";
            return false;
        }
        if (headers_[std::size_t(i)])
            headers_[std::size_t(i)]->lpData = buffers_[std::size_t(i)].get();
    }
    return true;
}

void TAudioIO2::FreeBuffers() {
    for (std::size_t i = 0; i < kRingSlots; ++i) {
        buffers_[i].reset();
        allocatedSize_[i] = 0;
        if (headers_[i])
            headers_[i]->lpData = nullptr;
    }
}

void TAudioIO2::FreeHeaders() {
    for (auto& header : headers_)
        header.reset();
}

void TAudioIO2::SetBufferSize(int value) {
    requestedSize_ = std::max(value, 512);
    ApplyFormatRule();
    FreeBuffers();
    AllocateBuffers();
}

void TAudioIO2::SetNumBuffers(int value) {
    numBuffers_ = std::clamp(value, 2, kRingSlots);
}

void TAudioIO2::SetFrameRate(int value) {
    format_.nSamplesPerSec = std::uint32_t(value);
    ApplyFormatRule();
}

void TAudioIO2::SetStereo(bool value) {
    format_.nChannels = value ? 2 : 1;
    ApplyFormatRule();
}

void TAudioIO2::SetQuantization(int value) {
    format_.wBitsPerSample = value <= 8 ? 8 : 16;
    ApplyFormatRule();
}

void TAudioIO2::StopNow() {
    recording_ = false;
    capturing_ = false;
}

void TAudioIO2::StopWhenDrained() {
    capturing_ = false;
}

// ---------------------------------------------------------------------------

TCallBackWinIn::TCallBackWinIn(TAudioInMM* owner, QObject* parent)
    : QObject(parent)
    , audioIn_(owner) {}

bool TCallBackWinIn::event(QEvent* e) {
    MarkReceipt(this);
    if (e->type() != WaveInEvent::EventType())
        return QObject::event(e);
    const auto* msg = static_cast<WaveInEvent*>(e);
    switch (msg->message) {
    case MM_WIM_OPEN:
        if (audioIn_->OnStart)
            audioIn_->OnStart(this);
        break;
    case MM_WIM_CLOSE:
        if (audioIn_->OnStop)
            audioIn_->OnStop(this);
        break;
    case MM_WIM_DATA:
        // Buffers handed back by the reset inside a close belong to a closed device.
        if (!retired_)
            audioIn_->BufferReturned(msg->header);
        break;
    default:
        break;
    }
    return true;
}

// ---------------------------------------------------------------------------

TAudioInMM::TAudioInMM(QObject* owner)
    : TAudioIO2(owner) {}

TAudioInMM::~TAudioInMM() {
    // Close an open device before the base class frees the memory it writes to.
    if (deviceOpen_)
        StopNow();
    delete callbackWin_.data();
}

std::string TAudioInMM::PlatformText(MMRESULT result) const {
    char text[256];
    waveInGetErrorTextA(result, text, sizeof text);
    return text;
}

bool TAudioInMM::StartCapture() {
    return OpenWaveIn() && StartWaveIn();
}

bool TAudioInMM::OpenWaveIn() {
    if (deviceOpen_) {
        lastErrorText_ = "Wave Input device is already open";
        return false;
    }
    currentSlot_ = 0;
    callbackWin_ = new TCallBackWinIn(this, this);
    WaveInCallback callback;
    callback.flags = CALLBACK_WINDOW | WAVE_ALLOWSYNC;
    callback.window = callbackWin_;
    if (const MMRESULT r = waveInOpen(&waveIn_, waveDevice_, &format_, callback)) {
        lastErrorText_ = PlatformText(r);
        callbackWin_->deleteLater();
        callbackWin_ = nullptr;
        waveIn_ = nullptr;
        return false;
    }
    deviceOpen_ = true;

    ApplyFormatRule();
    // A larger buffer size or more buffers than at the last allocation get
    // fresh memory here, so the device never writes past a buffer.
    if (!AllocateBuffers()) {
        CloseWaveIn();
        return false;
    }
    for (int i = 0; i < numBuffers_; ++i) {
        WAVEHDR& h = *headers_[std::size_t(i)];
        h = WAVEHDR{};
        h.lpData = buffers_[std::size_t(i)].get();
        h.dwBufferLength = std::uint32_t(bufferSize_);
    }
    for (int i = 0; i < numBuffers_; ++i) {
        if (const MMRESULT r =
                waveInPrepareHeader(waveIn_, headers_[std::size_t(i)].get(), sizeof(WAVEHDR))) {
            lastErrorText_ = PlatformText(r);
            CloseWaveIn();
            return false;
        }
    }
    queuedCount_ = 0;
    capturing_ = true;
    recording_ = true;
    return true;
}

bool TAudioInMM::StartWaveIn() {
    if (const MMRESULT r = waveInStart(waveIn_)) {
        CloseWaveIn();
        lastErrorText_ = "Error starting wave record: " + PlatformText(r);
        return false;
    }
    recording_ = true;
    for (int i = 0; i < numBuffers_; ++i) {
        if (!QueueBuffer()) {
            CloseWaveIn();
            return false;
        }
    }
    return true;
}

bool TAudioInMM::QueueBuffer() {
    WAVEHDR* h = headers_[std::size_t(currentSlot_)].get();
    h->dwFlags = WHDR_PREPARED;
    if (const MMRESULT r = waveInAddBuffer(waveIn_, h, sizeof(WAVEHDR))) {
        lastErrorText_ = PlatformText(r);
        StopWhenDrained();
        return false;
    }
    currentSlot_ = (currentSlot_ + 1) % numBuffers_;
    ++queuedCount_;
    return true;
}

void TAudioInMM::BufferReturned(WAVEHDR* header) {
    if (!deviceOpen_)
        return;
    --queuedCount_;
    recording_ = queuedCount_ > 0;
    // The device returns buffers in the order they were queued, so this is
    // normally the current slot; after a refused buffer the ring no longer
    // matches that order, so the slot is taken from the returned header.
    for (int i = 0; i < numBuffers_; ++i)
        if (headers_[std::size_t(i)].get() == header)
            currentSlot_ = i;
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
        CloseWaveIn();
    }
}

void TAudioInMM::CloseWaveIn() {
    recording_ = false;
    if (!deviceOpen_)
        return;
    for (int i = 0; i < numBuffers_; ++i)
        waveInUnprepareHeader(waveIn_, headers_[std::size_t(i)].get(), sizeof(WAVEHDR));
    if (callbackWin_)
        callbackWin_->Retire();
    waveInReset(waveIn_);
    waveInClose(waveIn_);
    waveIn_ = nullptr;
    deviceOpen_ = false;
    if (callbackWin_)
        callbackWin_->deleteLater();
    callbackWin_ = nullptr;
}

void TAudioInMM::StopNow() {
    if (!deviceOpen_)
        return;
    recording_ = false;
    capturing_ = false;
    waveInReset(waveIn_);
    CloseWaveIn();
}

void TAudioInMM::StopWhenDrained() {
    if (deviceOpen_)
        capturing_ = false;
}
