#pragma once

#include "platform/audio/AudioEngine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CallInbox;

namespace audio {

class DeviceOutput;

// The engine on a real clock: a decoder thread keeps each open deck's ring
// about 1.5 s ahead, and an output (PortAudio, else the silent clock) mixes
// from the rings. The margin is measured, not guessed: with both cores of a
// 2-core machine busy, the decoder's longest wait-and-top-up took 14-50 ms
// (bench_play_latency), so the ring is some thirty times what it needs. Ends of playback reach the
// players through the Qt event loop of the thread that made the engine. When the device dies while
// the program runs (the sound server went away), the decoder thread notices and moves the mix to
// the silent clock, so the decks keep time; from then on it tries the default device again every
// few seconds and moves the mix back to it once it opens (the sound server was restarted).
class RealtimeAudioEngine final : public AudioEngine {
public:
    // DeviceOnRequest starts on the silent clock and opens the default device
    // on the decoder thread once OpenDevice is called, so that whoever makes
    // the engine does not wait for the sound server.
    enum class OutputChoice { DefaultDevice, DeviceOnRequest, SilentClock };
    // Which device: the sound server directly, with PortAudio (ALSA) where
    // none answers; or PortAudio alone.
    enum class DeviceChoice { ServerFirst, PortAudioOnly };

    // Retries start at kReopenInterval; a device that dies again within
    // kSettleTime of being reopened doubles the wait, up to kReopenLimit, so a
    // half-dead server does not pile up dead streams.
    static constexpr std::chrono::milliseconds kReopenInterval{2000};
    static constexpr std::chrono::milliseconds kReopenLimit{64000};
    static constexpr std::chrono::milliseconds kSettleTime{60000};

    explicit RealtimeAudioEngine(OutputChoice choice = OutputChoice::DefaultDevice,
                                 DeviceChoice device = DeviceChoice::ServerFirst);
    ~RealtimeAudioEngine() override;

    const char* backendName() const override;
    void wakeProducer() override;
    void deckStopped() override;
    void openDevice() override;

private:
    void decoderLoop();
    void postEndNotices();
    void reportBufferGrowth();
    void fallBackIfDeviceDied();
    void reopenDeviceWhenBack();
    void openRequestedDevice();
    std::unique_ptr<DeviceOutput> openDefaultDevice(std::string* why);
    // Opening a device can take seconds (a sound server that is slow to
    // answer, PortAudio probing every device), so it happens on the opener
    // thread; the decoder thread asks for it and takes the device once
    // opened, and goes on decoding for every deck meanwhile.
    enum class OpenPurpose { First, Reopen };
    void requestOpen(OpenPurpose purpose);
    void takeOpenedDevice();
    void openerLoop();
    bool handOverTo(std::unique_ptr<DeviceOutput> device, std::string* why);
    // How long the decoder thread may sleep: a short period while a deck
    // plays or loads, until the next reopen while the device is lost, and
    // until woken while nothing happens (an idle program never wakes).
    std::chrono::milliseconds decoderSleep();

    std::unique_ptr<CallInbox> noticeInbox_; // lives on the thread that made the engine
    std::atomic<bool> noticePosted_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool wakeRequested_ = false;
    bool quit_ = false;
    std::thread decoder_;
    std::thread opener_;
    std::mutex openMutex_;
    std::condition_variable openWake_;
    bool openWanted_ = false;   // under openMutex_
    bool openQuit_ = false;     // under openMutex_
    bool openAnswered_ = false; // under openMutex_, with the two below
    std::unique_ptr<DeviceOutput> opened_;
    std::string openedWhy_;
    bool openInFlight_ = false; // decoder thread's, with the purpose
    OpenPurpose openPurpose_ = OpenPurpose::First;
    // Set before the decoder thread starts; afterwards changed only by that
    // thread, and read by others only through backendName_.
    std::unique_ptr<AudioOutput> output_;
    DeviceOutput* device_ = nullptr; // output_ while it is the device
    // The running device, for Wake and Flush from other threads. Devices
    // live until the engine goes (a dead one in deadDevices_), so a pointer
    // read here stays valid.
    std::atomic<DeviceOutput*> wakeTarget_{nullptr};
    const DeviceChoice deviceChoice_;
    // Devices that died, closed only at the end: closing one whose sound
    // server is gone may wait on it.
    std::vector<std::unique_ptr<AudioOutput>> deadDevices_;
    bool deviceLost_ = false;
    int reportedBufferMs_ = 0;
    std::chrono::milliseconds reopenDelay_ = kReopenInterval;
    std::chrono::steady_clock::time_point nextReopen_;
    std::chrono::steady_clock::time_point reopenedAt_;
    std::atomic<const char*> backendName_{""};
    const bool opensOnRequest_;
    std::atomic<bool> deviceRequested_{false};
};

} // namespace audio
