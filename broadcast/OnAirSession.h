#pragma once

#include "broadcast/IcecastSource.h"
#include "broadcast/MixSinks.h"
#include "broadcast/TalkOver.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

class BackgroundTask;
class ShowRecorder;

namespace audio {
class AudioEngine;
}

struct OnAirSettings {
    bool toIcecast = false;
    IcecastSettings icecast;
    DuckingSettings ducking;
    bool microphone = true;
    std::string recordingPath; // empty: no recording
};

// One broadcast on air: the broadcast mix of the engine's decks and the
// microphone, paced by a clock of its own on the mix thread, going to the
// local relay (in its wire format), to an Icecast mount, to a recording of
// the show and past the dead-air watch.
//
// Status (window's thread): statusChanged says connected, reconnecting (with
// the reason) or stopped, and never "On air" while the mix is silent.
// deadAir is emitted when a deck has played silence for 5 s; the owner skips
// to the next track.
class OnAirSession : public QObject {
    Q_OBJECT
public:
    static constexpr auto kTick = std::chrono::milliseconds(10);
    static constexpr int kStatusMs = 250;

    OnAirSession(audio::AudioEngine& engine, const OnAirSettings& settings,
                 RelayFeed::BlockOut relay, QObject* parent = nullptr);
    ~OnAirSession() override;

    // Ends the broadcast. Once it returns, nothing of the session touches the
    // engine or the relay any more (a mix step in progress, a few
    // milliseconds at most, is waited for).
    void stop();
    // The track now on air ("Artist - Title").
    void setTitle(const std::string& title);

    QString statusText() const { return status_; }
    // What did not start (the microphone, the recording), said once.
    QStringList problems() const { return problems_; }
    IcecastSource* icecast() { return icecast_.get(); }
    int deadAirSkips() const { return deadAirSeen_; }

signals:
    void statusChanged(const QString& text);
    void deadAir();

private:
    struct Shared;
    void refresh();
    QString compose() const;

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<IcecastSource> icecast_;
    std::shared_ptr<DeadAirWatch> deadAirWatch_;
    std::unique_ptr<BackgroundTask> pacer_;
    QTimer statusTimer_;
    QString status_;
    QStringList problems_;
    int deadAirSeen_ = 0;
    std::chrono::steady_clock::time_point deadAirNoteUntil_;
    bool stopped_ = false;
};
