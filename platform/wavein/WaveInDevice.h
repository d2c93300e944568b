#pragma once

#include "platform/wavein/WaveIn.h"

#include <deque>
#include <mutex>
#include <vector>

namespace wavein {

// The back-end-independent part of an open input device: the queue of added
// buffers, filling them from delivered bytes in order, and the notifications.
// Back ends derive from it and push recorded bytes through Deliver().
class WaveInDevice {
public:
    WaveInDevice(const WAVEFORMATEX& format, const WaveInCallback& callback);
    virtual ~WaveInDevice() = default;
    WaveInDevice(const WaveInDevice&) = delete;
    WaveInDevice& operator=(const WaveInDevice&) = delete;

    const WAVEFORMATEX& Format() const { return format_; }

    MMRESULT AddBuffer(WAVEHDR* header);
    MMRESULT Start();
    MMRESULT Reset();
    // True when no buffer is queued (the device may be closed).
    bool Idle();
    void NotifyOpen() { Notify(MM_WIM_OPEN, nullptr); }
    void NotifyClose() { Notify(MM_WIM_CLOSE, nullptr); }

    // Fills queued buffers with recorded bytes, in the order they were added;
    // bytes arriving while no buffer is queued or before Start are lost.
    // Returns the number of buffers completed.
    int Deliver(const char* bytes, std::size_t count);
    bool Started();

    // The back end's source of sound: begin and end recording.
    virtual MMRESULT StartSource() = 0;
    virtual void StopSource() = 0;
    // Lets a back end refuse a buffer (the virtual input's injected failures).
    virtual MMRESULT AdmitBuffer() { return MMSYSERR_NOERROR; }

private:
    void Notify(unsigned message, WAVEHDR* header);

    const WAVEFORMATEX format_;
    const WaveInCallback callback_;
    std::mutex mutex_;
    std::deque<WAVEHDR*> queue_;
    bool started_ = false;
};

} // namespace wavein
