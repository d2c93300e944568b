#pragma once

#include "platform/audio/AudioEngine.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QObject;

namespace audio {

class PortAudioOutput;

// The engine on a real clock: a decoder thread keeps each open deck's ring
// about 1.5 s ahead, and an output (PortAudio, else the silent clock) mixes
// from the rings. Ends of playback reach the players through the Qt event
// loop of the thread that made the engine. When the device dies while the
// program runs (the sound server went away), the decoder thread notices and
// moves the mix to the silent clock, so the decks keep time.
class RealtimeAudioEngine final : public AudioEngine {
public:
    enum class OutputChoice { DefaultDevice, SilentClock };

    explicit RealtimeAudioEngine(OutputChoice choice = OutputChoice::DefaultDevice);
    ~RealtimeAudioEngine() override;

    const char* BackendName() const override;
    void WakeProducer() override;

private:
    void DecoderLoop();
    void PostEndNotices();
    void FallBackIfDeviceDied();

    std::unique_ptr<QObject> noticeContext_;
    std::atomic<bool> noticePosted_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool wakeRequested_ = false;
    bool quit_ = false;
    std::thread decoder_;
    // Set before the decoder thread starts; afterwards changed only by that
    // thread, and read by others only through backendName_.
    std::unique_ptr<AudioOutput> output_;
    PortAudioOutput* device_ = nullptr;       // output_ while it is the device
    std::unique_ptr<AudioOutput> deadDevice_; // closed only at the end
    std::atomic<const char*> backendName_{""};
};

} // namespace audio
