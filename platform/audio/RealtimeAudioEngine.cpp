#include "platform/audio/RealtimeAudioEngine.h"

#include "platform/audio/PortAudioOutput.h"
#include "platform/audio/SilentClockOutput.h"

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdio>

namespace audio {

namespace {

// Said once per run, however many engines are made.
void ReportSilentOnce(const std::string& why) {
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    std::fprintf(stderr,
                 "kolvadeck: no sound output device could be opened (%s); "
                 "the decks play silently on a real-time clock\n",
                 why.c_str());
}

} // namespace

RealtimeAudioEngine::RealtimeAudioEngine(OutputChoice choice)
    : noticeContext_(std::make_unique<QObject>())
    , decoder_([this] { DecoderLoop(); }) {
    std::string why = "silent output chosen";
    if (choice == OutputChoice::DefaultDevice)
        output_ = PortAudioOutput::Start(*this, &why);
    if (!output_) {
        if (choice == OutputChoice::DefaultDevice)
            ReportSilentOnce(why);
        output_ = std::make_unique<SilentClockOutput>(*this);
    }
}

RealtimeAudioEngine::~RealtimeAudioEngine() {
    output_.reset();
    {
        std::lock_guard lock(wakeMutex_);
        quit_ = true;
    }
    wake_.notify_one();
    decoder_.join();
    noticeContext_.reset(); // drops end notices still queued for this engine
}

const char* RealtimeAudioEngine::BackendName() const {
    return output_->Name();
}

void RealtimeAudioEngine::WakeProducer() {
    {
        std::lock_guard lock(wakeMutex_);
        wakeRequested_ = true;
    }
    wake_.notify_one();
}

void RealtimeAudioEngine::DecoderLoop() {
    for (;;) {
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(20),
                           [this] { return quit_ || wakeRequested_; });
            if (quit_)
                return;
            wakeRequested_ = false;
        }
        for (int i = 0; i < kMaxDecks; ++i) {
            if (Channel(i).WantsData())
                Channel(i).Refill(DeckChannel::kRingFrames);
        }
        PostEndNotices();
    }
}

void RealtimeAudioEngine::PostEndNotices() {
    if (!HasPendingEndNotices() || noticePosted_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        noticeContext_.get(),
        [this] {
            noticePosted_.store(false);
            DeliverEndNotices();
        },
        Qt::QueuedConnection);
}

} // namespace audio
