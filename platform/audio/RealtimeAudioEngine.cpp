#include "platform/audio/RealtimeAudioEngine.h"

#include "platform/CallInbox.h"
#include "platform/audio/AudioLog.h"
#include "platform/audio/PortAudioOutput.h"
#include "platform/audio/PulseOutput.h"
#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/SilentClockOutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace audio {

namespace {

// Said once per run, however many engines are made.
void reportSilentOnce(const std::string& why) {
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    qCWarning(lcAudio,
              "no sound output device could be opened (%s); "
              "the decks play silently on a real-time clock",
              why.c_str());
}

void reportDeviceLost() {
    qCWarning(lcAudio, "the sound output stopped responding; "
                       "the decks go on silently on a real-time clock");
}

void reportDeviceBack() {
    qCWarning(lcAudio, "the sound output is back");
}

} // namespace

RealtimeAudioEngine::RealtimeAudioEngine(OutputChoice choice, DeviceChoice device)
    : noticeInbox_(std::make_unique<CallInbox>())
    , deviceChoice_(device)
    , opensOnRequest_(choice == OutputChoice::DeviceOnRequest) {
    std::string why = "silent output chosen";
    if (choice == OutputChoice::DefaultDevice) {
        auto opened = openDefaultDevice(&why);
        if (opened && opened->begin(&why)) {
            device_ = opened.get();
            wakeTarget_.store(device_);
            output_ = std::move(opened);
        }
    }
    if (!output_) {
        if (choice == OutputChoice::DefaultDevice)
            reportSilentOnce(why);
        output_ = std::make_unique<SilentClockOutput>(*this);
    }
    backendName_.store(output_->name());
    decoder_ = std::thread([this] { decoderLoop(); });
    opener_ = std::thread([this] { openerLoop(); });
}

RealtimeAudioEngine::~RealtimeAudioEngine() {
    {
        std::lock_guard lock(wakeMutex_);
        quit_ = true;
    }
    wake_.notify_one();
    decoder_.join();
    {
        std::lock_guard lock(openMutex_);
        openQuit_ = true;
    }
    openWake_.notify_one();
    opener_.join(); // at most one open in progress, bounded by its own limit
    wakeTarget_.store(nullptr);
    output_.reset();
    deadDevices_.clear();
    noticeInbox_.reset(); // drops end notices still queued for this engine
}

const char* RealtimeAudioEngine::backendName() const {
    return backendName_.load();
}

// Decoder thread. The retired device never calls the mix again, so the
// silent clock can take over the rings as their one consumer.
void RealtimeAudioEngine::fallBackIfDeviceDied() {
    if (!device_ || !device_->retireIfStalled())
        return;
    device_ = nullptr;
    wakeTarget_.store(nullptr);
    deadDevices_.push_back(std::move(output_));
    output_ = std::make_unique<SilentClockOutput>(*this);
    backendName_.store(output_->name());
    const auto now = std::chrono::steady_clock::now();
    const bool diedAgainSoon = deviceLost_ && now - reopenedAt_ < kSettleTime;
    reopenDelay_ = diedAgainSoon ? std::min(reopenDelay_ * 2, kReopenLimit) : kReopenInterval;
    deviceLost_ = true;
    nextReopen_ = now + reopenDelay_;
    reportDeviceLost();
}

// Decoder thread. The device is opened (on the opener thread) while the
// silent clock still keeps time and only started once the clock has stopped,
// so the rings never have two consumers and the decks lose no more than the
// hand-over.
void RealtimeAudioEngine::reopenDeviceWhenBack() {
    const auto now = std::chrono::steady_clock::now();
    if (!deviceLost_ || device_ || now < nextReopen_)
        return;
    if (openInFlight_)
        return;
    nextReopen_ = now + reopenDelay_;
    requestOpen(OpenPurpose::Reopen);
}

// Decoder thread.
void RealtimeAudioEngine::requestOpen(OpenPurpose purpose) {
    openInFlight_ = true;
    openPurpose_ = purpose;
    {
        std::lock_guard lock(openMutex_);
        openWanted_ = true;
    }
    openWake_.notify_one();
}

// Decoder thread: hands the mix to the device the opener made, if it has.
void RealtimeAudioEngine::takeOpenedDevice() {
    std::unique_ptr<DeviceOutput> device;
    std::string why;
    {
        std::lock_guard lock(openMutex_);
        if (!openAnswered_)
            return;
        openAnswered_ = false;
        device = std::move(opened_);
        why = std::move(openedWhy_);
    }
    openInFlight_ = false;
    const bool started = handOverTo(std::move(device), &why);
    if (openPurpose_ == OpenPurpose::First && !started) {
        reportSilentOnce(why);
    } else if (openPurpose_ == OpenPurpose::Reopen && started) {
        reopenedAt_ = std::chrono::steady_clock::now();
        reportDeviceBack();
    }
}

void RealtimeAudioEngine::openerLoop() {
    for (;;) {
        {
            std::unique_lock lock(openMutex_);
            openWake_.wait(lock, [this] { return openQuit_ || openWanted_; });
            if (openQuit_)
                return;
            openWanted_ = false;
        }
        std::string why;
        auto device = openDefaultDevice(&why);
        {
            std::lock_guard lock(openMutex_);
            opened_ = std::move(device);
            openedWhy_ = std::move(why);
            openAnswered_ = true;
        }
        std::lock_guard lock(wakeMutex_);
        wakeRequested_ = true;
        wake_.notify_one();
    }
}

// Decoder thread. Moves the mix from the silent clock to an opened device;
// false (the silent clock goes on) when there is none or it does not start.
bool RealtimeAudioEngine::handOverTo(std::unique_ptr<DeviceOutput> device, std::string* why) {
    if (!device)
        return false;
    output_.reset();
    if (!device->begin(why)) {
        output_ = std::make_unique<SilentClockOutput>(*this);
        return false;
    }
    device_ = device.get();
    wakeTarget_.store(device_);
    output_ = std::move(device);
    backendName_.store(output_->name());
    return true;
}

// The sound server directly where one answers; PortAudio (ALSA's default
// device) where none does, or where it was chosen alone.
std::unique_ptr<DeviceOutput> RealtimeAudioEngine::openDefaultDevice(std::string* why) {
    if (deviceChoice_ == DeviceChoice::ServerFirst) {
        if (auto pulse = PulseOutput::open(*this, why))
            return pulse;
        qCInfo(lcAudio, "no sound server to play to directly (%s); trying PortAudio", why->c_str());
        why->clear();
    }
    return PortAudioOutput::open(*this, why);
}

// Decoder thread: the first opening of the device asked for by OpenDevice.
void RealtimeAudioEngine::openRequestedDevice() {
    if (!deviceRequested_.exchange(false) || device_ || deviceLost_ || openInFlight_)
        return;
    requestOpen(OpenPurpose::First);
}

void RealtimeAudioEngine::openDevice() {
    if (!opensOnRequest_)
        return; // the device was tried at the start, or silence was chosen
    deviceRequested_.store(true);
    wakeProducer();
}

void RealtimeAudioEngine::wakeProducer() {
    {
        std::lock_guard lock(wakeMutex_);
        wakeRequested_ = true;
    }
    wake_.notify_one();
    if (DeviceOutput* device = wakeTarget_.load())
        device->wake();
}

void RealtimeAudioEngine::deckStopped() {
    if (DeviceOutput* device = wakeTarget_.load(); device && !anyDeckPlaying())
        device->flush();
}

std::chrono::milliseconds RealtimeAudioEngine::decoderSleep() {
    constexpr std::chrono::milliseconds kWhilePlaying{20};
    constexpr std::chrono::milliseconds kForever{24 * 3600 * 1000};
    bool busy =
        anyDeckPlaying() || hasPendingEndNotices() || (device_ && !device_->restsWhenIdle());
    for (int i = 0; i < kMaxDecks && !busy; ++i)
        busy = channel(i).wantsData();
    if (busy)
        return kWhilePlaying;
    if (deviceLost_) {
        const auto untilReopen = std::chrono::duration_cast<std::chrono::milliseconds>(
            nextReopen_ - std::chrono::steady_clock::now());
        return std::clamp(untilReopen, std::chrono::milliseconds(1), kForever);
    }
    return kForever;
}

void RealtimeAudioEngine::decoderLoop() {
    for (;;) {
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, decoderSleep(), [this] { return quit_ || wakeRequested_; });
            if (quit_)
                return;
            wakeRequested_ = false;
        }
        for (int i = 0; i < kMaxDecks; ++i) {
            if (channel(i).wantsData())
                channel(i).refill(DeckChannel::kRingFrames);
        }
        postEndNotices();
        reportRealtimeRefusalOnce(); // the output thread cannot print
        reportBufferGrowth();
        takeOpenedDevice();
        openRequestedDevice();
        fallBackIfDeviceDied();
        reopenDeviceWhenBack();
    }
}

// Decoder thread: a device whose buffer grew after an underrun says so here
// (its own thread carries the sound and does not print).
void RealtimeAudioEngine::reportBufferGrowth() {
    const int bufferMs = device_ ? device_->bufferMs() : 0;
    if (bufferMs > reportedBufferMs_ && reportedBufferMs_ > 0)
        qCInfo(lcAudio, "the sound ran dry: the sound server now keeps %d ms ahead", bufferMs);
    reportedBufferMs_ = bufferMs;
}

void RealtimeAudioEngine::postEndNotices() {
    if (!hasPendingEndNotices() || noticePosted_.exchange(true))
        return;
    noticeInbox_->send([this] {
        noticePosted_.store(false);
        deliverEndNotices();
    });
}

} // namespace audio
