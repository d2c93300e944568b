#include "broadcast/OnAirSession.h"

#include "broadcast/BroadcastLog.h"
#include "broadcast/ShowRecorder.h"
#include "platform/BackgroundTask.h"
#include "platform/audio/AudioEngine.h"

#include "platform/Wakeup.h"
#include <atomic>
#include <mutex>

#include <thread>

// Shared by the session and its mix thread. The gate is held for each mix
// step, so closing it (Stop) guarantees that no step touches the engine's tap
// or the relay afterwards.
struct OnAirSession::Shared {
    std::mutex gate;
    bool open = true;
    std::unique_ptr<BroadcastMix> mix;
    std::atomic<bool> decksPlaying{false};
    std::atomic<int> deadAirFound{0};
    Wakeup tick; // the mix thread rests on it; Stop wakes it
};

OnAirSession::OnAirSession(audio::AudioEngine& engine, const OnAirSettings& settings,
                           RelayFeed::BlockOut relay, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<Shared>()) {
    auto& mix = shared_->mix = std::make_unique<BroadcastMix>(engine.tap(), settings.ducking);
    if (settings.microphone) {
        if (const audio::Status opened = mix->openMicrophone(); !opened)
            problems_ << QStringLiteral("The microphone is not on air: %1")
                             .arg(QString::fromStdString(opened.error()));
    }
    mix->addSink(std::make_shared<RelayFeed>(std::move(relay)));
    if (settings.toIcecast) {
        icecast_ = std::make_shared<IcecastSource>(settings.icecast);
        mix->addSink(icecast_);
    }
    if (!settings.recordingPath.empty()) {
        auto recorder = std::make_shared<ShowRecorder>();
        std::string why;
        if (recorder->open(settings.recordingPath, &why))
            mix->addSink(recorder);
        else
            problems_
                << QStringLiteral("The show is not recorded: %1").arg(QString::fromStdString(why));
    }
    deadAirWatch_ = std::make_shared<DeadAirWatch>(
        [s = shared_.get()] { return s->decksPlaying.load(std::memory_order_relaxed); },
        [s = shared_.get()] { s->deadAirFound.fetch_add(1); });
    mix->addSink(deadAirWatch_);
    for (const QString& problem : problems_)
        qCWarning(lcBroadcast, "%s", qPrintable(problem));

    mix->start();
    if (icecast_)
        icecast_->start();
    // The mix thread: as many frames as the clock says are due, every tick.
    pacer_ = std::make_unique<BackgroundTask>(
        [shared = shared_](const std::atomic<bool>& cancelled) -> BackgroundTask::Completion {
            using Clock = std::chrono::steady_clock;
            const auto start = Clock::now();
            std::uint64_t produced = 0;
            auto next = start;
            while (!cancelled) {
                next += kTick;
                shared->tick.waitUntil(next);
                if (cancelled)
                    break;
                const auto due =
                    std::uint64_t(std::chrono::duration<double>(Clock::now() - start).count() *
                                  BroadcastMix::kRate);
                std::uint64_t frames = due - produced;
                produced = due;
                // After a long stall (a suspended machine) go on from now.
                frames = std::min<std::uint64_t>(frames, BroadcastMix::kRate * 2);
                std::lock_guard lock(shared->gate);
                if (!shared->open)
                    break;
                shared->mix->pump(std::size_t(frames));
            }
            return {};
        });
    statusTimer_.setInterval(kStatusMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this, &engine] {
        shared_->decksPlaying = engine.anyDeckPlaying();
        refresh();
    });
    statusTimer_.start();
    refresh();
}

OnAirSession::~OnAirSession() {
    stop();
}

void OnAirSession::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    statusTimer_.stop();
    pacer_.reset(); // cancels the mix thread
    shared_->tick.notify();
    if (icecast_)
        icecast_->stop();
    {
        std::lock_guard lock(shared_->gate);
        shared_->open = false;
        shared_->mix->stop();
    }
    refresh();
}

void OnAirSession::setTitle(const std::string& title) {
    if (icecast_)
        icecast_->setTitle(title);
}

void OnAirSession::refresh() {
    if (const int found = shared_->deadAirFound.load(); found != deadAirSeen_ && !stopped_) {
        deadAirSeen_ = found;
        deadAirNoteUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        qCWarning(lcBroadcast,
                  "dead air: a deck played silence for %d s; skipping to the next "
                  "track",
                  DeadAirWatch::kLimitMs / 1000);
        emit deadAir();
    }
    const QString text = compose();
    if (text != status_) {
        status_ = text;
        emit statusChanged(status_);
    }
}

QString OnAirSession::compose() const {
    if (stopped_)
        return QStringLiteral("Broadcast stopped");
    const bool silent = deadAirWatch_->silent();
    QString text;
    if (!icecast_) {
        text = silent ? QStringLiteral("Broadcasting, but the mix is silent")
                      : QStringLiteral("Broadcasting");
    } else {
        const IcecastSource::Status s = icecast_->currentStatus();
        const QString where = QString::fromStdString(icecast_->address());
        switch (s.state) {
        case IcecastSource::State::Connected:
            text = silent ? QStringLiteral("Connected to %1, but the mix is silent").arg(where)
                          : QStringLiteral("On air: connected to %1").arg(where);
            break;
        case IcecastSource::State::Connecting:
            text = QStringLiteral("Connecting to %1").arg(where);
            break;
        case IcecastSource::State::Reconnecting:
            text = QStringLiteral("Reconnecting to %1 in %2 s (%3)")
                       .arg(where)
                       .arg(s.retryInSeconds)
                       .arg(QString::fromStdString(s.detail));
            break;
        case IcecastSource::State::Stopped:
            text = QStringLiteral("Stopped: %1").arg(QString::fromStdString(s.detail));
            break;
        }
    }
    if (std::chrono::steady_clock::now() < deadAirNoteUntil_)
        text += QStringLiteral("; dead air: skipped to the next track");
    return text;
}
