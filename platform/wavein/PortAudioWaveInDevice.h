#pragma once

#include "platform/wavein/WaveInDevice.h"

#include <atomic>
#include <thread>

namespace wavein {

// An input device over PortAudio's blocking read: a capture thread of ours
// reads from the stream and fills the queued buffers, so PortAudio's own
// real-time thread never waits on our lock or posts events.
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
    void CaptureLoop();

    void* stream_ = nullptr; // PaStream*
    bool initialized_ = false;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Number of PortAudio devices that can record.
unsigned PortAudioInputCount();
// Opens the default input (-1) or the n-th recording device.
MMRESULT OpenPortAudioWaveIn(HWAVEIN* handle, int device, const WAVEFORMATEX& format,
                             const WaveInCallback& callback);

} // namespace wavein
