#pragma once

#include "platform/audio/AudioEngine.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class QObject;

namespace audio {

// The engine on a real clock: a decoder thread keeps each open deck's ring
// about 1.5 s ahead, and an output (PortAudio, else the silent clock) mixes
// from the rings. Ends of playback reach the players through the Qt event
// loop of the thread that made the engine.
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

    std::unique_ptr<QObject> noticeContext_;
    std::atomic<bool> noticePosted_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool wakeRequested_ = false;
    bool quit_ = false;
    std::thread decoder_;
    std::unique_ptr<AudioOutput> output_; // last: stops first
};

} // namespace audio
