// The kolvadeck-preview module: the video preview's player on Qt Multimedia,
// loaded with the first movie (see search/MoviePlayer.h).
#include "search/MoviePlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QVideoWidget>

namespace {

class QtMoviePlayer final : public MoviePlayer {
public:
    QtMoviePlayer(QWidget* host, std::function<void(const QString&)> onError)
        : video_(new QVideoWidget(host))
        , onError_(std::move(onError)) {}

    // The picture stays with its host, which deletes it after this player.
    ~QtMoviePlayer() override { dropPlayer(); }

    QWidget* picture() const override { return video_; }

    void load(const QUrl& address, bool play) override {
        dropPlayer();
        player_ = std::make_unique<QMediaPlayer>();
        player_->setAudioOutput(&audio_);
        player_->setVideoOutput(video_);
        // After an error the player still reports Playing; the error signal
        // is the only reliable notice that nothing will be shown.
        QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, player_.get(),
                         [this](QMediaPlayer::Error, const QString& text) { onError_(text); });
        player_->setSource(address);
        if (play)
            player_->play();
    }

    void stop() override {
        if (player_)
            player_->stop();
    }

    QUrl source() const override { return player_ ? player_->source() : QUrl(); }
    void setFullScreen(bool on) override { video_->setFullScreen(on); }
    bool fullScreen() const override { return video_->isFullScreen(); }
    QObject* mediaPlayer() const override { return player_.get(); }

private:
    void dropPlayer() {
        if (!player_)
            return;
        player_->disconnect();
        player_->stop();
        player_->setAudioOutput(nullptr);
        player_->setVideoOutput(nullptr);
        player_.reset();
    }

    QVideoWidget* video_;
    QAudioOutput audio_;
    std::unique_ptr<QMediaPlayer> player_;
    std::function<void(const QString&)> onError_;
};

} // namespace

extern "C" __attribute__((visibility("default"))) MoviePlayer*
kolvadeck_new_movie_player(QWidget* host, std::function<void(const QString&)>* onError) {
    return new QtMoviePlayer(host, std::move(*onError));
}
