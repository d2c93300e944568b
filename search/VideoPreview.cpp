#include "search/VideoPreview.h"

#include "search/SearchLog.h"

#include <QAudioOutput>
#include <QEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QStackedLayout>
#include <QUrl>
#include <QVideoWidget>

VideoPreview::VideoPreview(QWidget* parent)
    : QWidget(parent)
    , errorLabel_(new QLabel(this))
    , pages_(new QStackedLayout(this)) {
    pages_->setContentsMargins(0, 0, 0, 0);
    pages_->addWidget(errorLabel_);
    errorLabel_->setAlignment(Qt::AlignCenter);
    errorLabel_->setWordWrap(true);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
}

// A video widget loads the media framework's back end (and its plug-ins) as
// it is made, so it is made with the first movie: a program that never
// previews does not load them at all.
void VideoPreview::EnsureVideoWidget() {
    if (video_)
        return;
    video_ = new QVideoWidget(this);
    pages_->insertWidget(0, video_);
    video_->installEventFilter(this);
}

// Each movie gets a player of its own: errors the previous movie's pipeline
// still has on its way cannot reach the new one. The sound output is made
// with the first movie, so that a program that never previews does not open
// the sound back end.
void VideoPreview::NewPlayer() {
    if (player_) {
        player_->disconnect(this);
        player_->stop();
        player_->setAudioOutput(nullptr);
        player_->setVideoOutput(nullptr);
        delete player_;
    }
    if (!audio_)
        audio_ = new QAudioOutput(this);
    player_ = new QMediaPlayer(this);
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(video_);
    // After an error the player still reports Playing; the error signal is
    // the only reliable notice that nothing will be shown.
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) { ShowError(text); });
}

VideoPreview::~VideoPreview() {
    if (video_ && video_->isFullScreen())
        video_->setFullScreen(false);
}

QString VideoPreview::Variable(const QString& name) const {
    for (const QString& pair : flashVars_.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0 && pair.left(equals) == name)
            return pair.mid(equals + 1);
    }
    return {};
}

bool VideoPreview::AutoPlay() const {
    return Variable(QStringLiteral("autoplay")) == "1";
}

bool VideoPreview::FullScreenAllowed() const {
    return Variable(QStringLiteral("fs")) == "1" ||
           Variable(QStringLiteral("allowFullScreen")) == "true";
}

void VideoPreview::LoadMovie(int /*layer*/, const QString& address) {
    Load(address, false);
}

void VideoPreview::LoadPromotion(const QString& address) {
    Load(address, true);
}

void VideoPreview::Load(const QString& address, bool promotion) {
    promotion_ = promotion;
    failed_ = false;
    errorLabel_->clear();
    EnsureVideoWidget();
    pages_->setCurrentWidget(video_);
    NewPlayer();
    player_->setSource(QUrl(address, QUrl::TolerantMode));
    if (AutoPlay())
        player_->play();
}

void VideoPreview::Stop() {
    if (player_)
        player_->stop();
    if (video_ && video_->isFullScreen())
        video_->setFullScreen(false);
}

void VideoPreview::ToggleFullScreen() {
    if (video_)
        video_->setFullScreen(!video_->isFullScreen());
}

QString VideoPreview::ErrorText() const {
    return errorLabel_->text();
}

void VideoPreview::ShowError(const QString& text) {
    // The first error names the cause; the pipeline's follow-up errors do not.
    if (failed_)
        return;
    failed_ = true;
    // The framework's words are for the log, not for the user.
    qCWarning(lcSearch, "the preview of %s cannot play: %s",
              qUtf8Printable(player_ ? player_->source().toString() : QString()),
              qUtf8Printable(text));
    if (video_ && video_->isFullScreen())
        video_->setFullScreen(false);
    errorLabel_->setText(promotion_ ? QString() : tr("Preview unavailable"));
    pages_->setCurrentWidget(errorLabel_);
}

bool VideoPreview::eventFilter(QObject* watched, QEvent* event) {
    if (video_ && watched == video_ && event->type() == QEvent::MouseButtonDblClick &&
        FullScreenAllowed()) {
        ToggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
