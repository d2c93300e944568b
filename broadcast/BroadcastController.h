#pragma once

#include "broadcast/AudioCapture.h"
#include "broadcast/AudioRelay.h"
#include "broadcast/BroadcastForm.h"
#include "broadcast/OnAirForm.h"

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class BackgroundTask;
class OnAirSession;
class QWidget;

namespace audio {
class AudioEngine;
}

// What the controller needs from the main window.
struct BroadcastCallbacks {
    // Starts `program` hidden with the parameter string and returns at once;
    // `ended` runs later on the window's thread if the program ends by itself.
    // False when it could not be started (the reason has been shown).
    std::function<bool(const std::string& program, const std::string& parameters,
                       std::function<void()> ended)>
        startTool;
    // Ends the program StartTool started, if it still runs; its `ended` is
    // then not called.
    std::function<void()> EndTool;
};

// The "Broadcasting" tab: builds its controls into the tab page, owns the
// capture engine audioCapture (22050 Hz, 16-bit stereo, 8192-frame blocks, delivery
// from the first non-negative sample) and the audio relay, and carries the
// two commands. A broadcast is the recorder, the relay on 127.0.0.1:8099 and
// the external converter "mconv" joining the background picture (as video)
// with the relayed sound into an FLV stream pushed to the RTMP server.
//
// Wiring in MainWindow (after broadcastTab exists and DataFolder is set; toolState is
// the window's ToolState shared with the conversion, broadcast/ToolCallbacks.h):
//     broadcast = new BroadcastController(broadcastTab, DataFolder, this,
//                                          toolRunnerCallbacks(toolState));
// The controller connects its own buttons ("Load" -> loadBackground,
// "Broadcast Now" -> startOrStop), each run through dialogs::runCommand
// so that an error leaving it reaches the standard error box. The converter is
// the program folder's "mconv"; starting returns as soon as it runs, and a
// converter that ends by itself leaves the broadcast on (status "The
// converter has ended") until the user stops it. The tab stays hidden unless
// KOLVADECK_SHOW_BROADCASTING=1. The controller is a child of the form; a
// broadcast still running when it is destroyed is stopped first.
class BroadcastController : public QObject {
public:
    static constexpr std::uint16_t kSampleRate = 22050;

    BroadcastController(QWidget* tabSheet, std::string dataFolder, QWidget* form,
                        BroadcastCallbacks callbacks);
    ~BroadcastController() override;

    // "Load": a web address of more than 10 characters beginning "http://" is
    // downloaded into "video_background.jpg" on a worker (LoadingBackground
    // until the preview is updated); anything else opens the file dialog.
    void loadBackground();
    bool loadingBackground() const;
    // "Broadcast Now" starts a broadcast; while one runs, the click stops it.
    // Throws SocketError when the relay cannot listen.
    void startOrStop();

    // The converter's parameter string for the current field texts.
    std::string converterParameters() const;
    // Full path of the converter; the folder of the executable by default.
    std::string ConverterPath;

    // The decks go on air: from now on a broadcast sends the engine's own
    // mix with the microphone (OnAirSession) to the relay, and to Icecast and
    // a recording as the "Icecast" group says; `skipToNext` is asked for the
    // next track when dead air is found. Without it, the relay sends what
    // the sound input records.
    void attachDecks(audio::AudioEngine& engine, std::function<void()> skipToNext);
    // A track began to play ("Artist - Title"): the title on air.
    void trackStarted(const QString& title);
    // The broadcast on air, while one runs with the decks attached.
    OnAirSession* session() { return session_.get(); }
    // Where "Record the show" writes: the data folder's recordings/, one file
    // a broadcast, named by its start.
    std::string recordingPath() const;

    const BroadcastWidgets& widgets() const { return w_; }
    OnAirWidgets& onAirForm() { return onAir_; }
    // The capture the broadcast sends, made with its first use: making it asks
    // the system mixer and PortAudio for their devices, which most runs never
    // need and which would hold up the start.
    AudioCapture& audioCapture();
    AudioRelay& relay() { return relay_; }
    bool broadcasting() const { return relay_.broadcasting; }
    const QImage& picture() const { return picture_; }

private:
    void startBroadcast();
    void stopBroadcast();
    void converterEnded();
    void configureAudio();
    void showPicture(const QImage& picture);
    void setStatus(const QString& text);
    void loadBackgroundFrom(const std::string& address);

    QWidget* form_;
    std::string dataFolder_;
    BroadcastCallbacks callbacks_;
    BroadcastWidgets w_;
    OnAirWidgets onAir_;
    audio::AudioEngine* engine_ = nullptr;
    std::function<void()> skipToNext_;
    std::unique_ptr<OnAirSession> session_;
    QString title_;
    AudioRelay relay_; // outlives audioCapture, whose capture thread writes through it
    std::unique_ptr<AudioCapture> audio_; // null until audioCapture
    QImage picture_;
    std::unique_ptr<BackgroundTask> backgroundDownload_;
};
