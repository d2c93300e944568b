#pragma once

#include "platform/wavein/WaveInDevice.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace wavein {

// An input device over PortAudio's blocking read: a capture thread of ours
// reads from the stream and fills the queued buffers, so PortAudio's own
// real-time thread never waits on our lock or posts events.
//
// When the sound server dies, the ALSA plugin can deadlock inside libpulse
// with the capture thread stuck in a PortAudio call for good. A stop then
// waits a bounded time, and abandons the thread and the stream if it must:
// the thread only touches state it shares ownership of once told to stop,
// and the stream is never closed (closing it would wait on the same lock).
class PortAudioWaveInDevice : public WaveInDevice {
public:
    PortAudioWaveInDevice(const WAVEFORMATEX& format, const WaveInCallback& callback);
    ~PortAudioWaveInDevice() override;
    // Opens the stream on the PortAudio device index (already resolved).
    MMRESULT Open(int paDevice);
    void MarkInitialized() { initialized_ = true; }
    MMRESULT StartSource() override;
    void StopSource() override;

private:
    // Shared by the device and its capture thread, which may outlive it.
    struct CaptureState {
        std::mutex mutex; // held while delivering, so a stop waits for that
        std::condition_variable ended;
        bool running = true;
        bool finished = false;
    };
    void CaptureLoop(void* stream, const std::shared_ptr<CaptureState>& state);

    void* stream_ = nullptr; // PaStream*
    bool initialized_ = false;
    bool abandoned_ = false; // the stream is stuck in the library
    std::shared_ptr<CaptureState> capture_;
    std::thread thread_;
};

// Number of PortAudio devices that can record.
unsigned PortAudioInputCount();
// Opens the default input (-1) or the n-th recording device.
MMRESULT OpenPortAudioWaveIn(HWAVEIN* handle, int device, const WAVEFORMATEX& format,
                             const WaveInCallback& callback);

} // namespace wavein
