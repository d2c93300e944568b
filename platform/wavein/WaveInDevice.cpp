#include "platform/wavein/WaveInDevice.h"

#include "platform/ThreadHandOff.h"
#include "platform/wavein/WaveInEvent.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

namespace wavein {

QEvent::Type WaveInEvent::EventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

WaveInDevice::WaveInDevice(const WAVEFORMATEX& format, const WaveInCallback& callback)
    : format_(format)
    , callback_(callback) {}

MMRESULT WaveInDevice::AddBuffer(WAVEHDR* header) {
    if (!header || !header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (const MMRESULT admitted = AdmitBuffer(); admitted != MMSYSERR_NOERROR)
        return admitted;
    // The flags of a queued header are the capture thread's to change, so
    // they are read under the lock too.
    std::lock_guard lock(mutex_);
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    queue_.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveInDevice::Start() {
    {
        std::lock_guard lock(mutex_);
        if (started_)
            return MMSYSERR_NOERROR;
        started_ = true;
    }
    const MMRESULT result = StartSource();
    if (result != MMSYSERR_NOERROR) {
        std::lock_guard lock(mutex_);
        started_ = false;
    }
    return result;
}

MMRESULT WaveInDevice::Reset() {
    StopSource(); // the source no longer delivers once this returns
    std::deque<WAVEHDR*> returned;
    {
        std::lock_guard lock(mutex_);
        started_ = false;
        returned.swap(queue_);
        for (WAVEHDR* h : returned)
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    }
    for (WAVEHDR* h : returned)
        Notify(MM_WIM_DATA, h);
    return MMSYSERR_NOERROR;
}

bool WaveInDevice::Idle() {
    std::lock_guard lock(mutex_);
    return queue_.empty();
}

bool WaveInDevice::Started() {
    std::lock_guard lock(mutex_);
    return started_;
}

int WaveInDevice::Deliver(const char* bytes, std::size_t count) {
    int total = 0;
    bool progress = true;
    while (count > 0 && progress) {
        // Completed buffers are collected on the stack and notified outside the lock.
        constexpr int kBatch = 16;
        WAVEHDR* done[kBatch];
        int doneCount = 0;
        progress = false;
        {
            std::lock_guard lock(mutex_);
            while (started_ && count > 0 && !queue_.empty() && doneCount < kBatch) {
                WAVEHDR* h = queue_.front();
                const std::size_t room = h->dwBufferLength - h->dwBytesRecorded;
                const std::size_t n = std::min(room, count);
                std::memcpy(h->lpData + h->dwBytesRecorded, bytes, n);
                h->dwBytesRecorded += std::uint32_t(n);
                bytes += n;
                count -= n;
                progress = true;
                if (h->dwBytesRecorded == h->dwBufferLength) {
                    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
                    queue_.pop_front();
                    done[doneCount++] = h;
                }
            }
        }
        for (int i = 0; i < doneCount; ++i)
            Notify(MM_WIM_DATA, done[i]);
        total += doneCount;
    }
    return total;
}

void WaveInDevice::Notify(unsigned message, WAVEHDR* header) {
    const unsigned kind = callback_.flags & 0x70000;
    if (kind == CALLBACK_WINDOW && callback_.window) {
        auto* event = new WaveInEvent(message, this, header);
        MarkHandOff(callback_.window);
        QCoreApplication::postEvent(callback_.window, event);
    } else if (kind == CALLBACK_FUNCTION && callback_.function) {
        callback_.function(this, message, callback_.instance,
                           reinterpret_cast<std::uintptr_t>(header), 0);
    }
}

} // namespace wavein
