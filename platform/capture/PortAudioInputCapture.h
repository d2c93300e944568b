#pragma once

#include "platform/capture/InputCapture.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace audio {

// A capture over PortAudio's blocking read: a worker thread of ours
// (platform/Workers.h) reads from the stream and hands the blocks on, so
// PortAudio's own real-time thread never waits on our lock or runs our
// handler.
//
// When the sound server dies, the ALSA plugin can deadlock inside libpulse
// with the capture's worker stuck in a PortAudio call for good. A stop then
// waits a bounded time, and gives up the worker and the stream if it must:
// the worker only touches state it shares ownership of once told to stop,
// and the stream is never closed (closing it would wait on the same lock).
class PortAudioInputCapture : public InputCapture {
public:
    PortAudioInputCapture(const CaptureFormat& format, std::size_t blockBytes,
                          BlockHandler handler);
    ~PortAudioInputCapture() override;
    // Opens the stream on the PortAudio device index (already resolved).
    Status open(int paDevice);
    void markInitialized() { initialized_ = true; }

protected:
    Status startSource() override;
    void stopSource() override;

private:
    // Shared by the capture and its thread, which may outlive it.
    struct ThreadState {
        std::mutex mutex; // held while delivering, so a stop waits for that
        std::condition_variable ended;
        bool running = true;
        bool finished = false;
    };
    void captureLoop(void* stream, const std::shared_ptr<ThreadState>& state);

    void* stream_ = nullptr; // PaStream*
    bool initialized_ = false;
    bool abandoned_ = false; // the stream is stuck in the library
    std::shared_ptr<ThreadState> threadState_;
};

int portAudioInputCount();
// One reference to PortAudio, started (with its probe of every device) as
// it is made and let go as it is destroyed; from any thread.
class PortAudioReference {
public:
    PortAudioReference();
    ~PortAudioReference();
    PortAudioReference(const PortAudioReference&) = delete;
    PortAudioReference& operator=(const PortAudioReference&) = delete;

private:
    bool started_;
};
Status openPortAudioInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                                 InputCapture::BlockHandler handler,
                                 std::unique_ptr<InputCapture>& capture);

} // namespace audio
