#include "search/VideoPreview.h"

#include "search/SearchLog.h"

#include <QEvent>
#include <QLabel>
#include <QStackedLayout>
#include <QUrl>

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

// The media framework (and its plug-ins) loads with the first movie: a
// program that never previews does not load it at all.
bool VideoPreview::ensureMoviePlayer() {
    if (movie_)
        return true;
    std::string why;
    movie_ = makeMoviePlayer(
        this, [this](const QString& text) { showError(text); }, &why);
    if (!movie_) {
        showError(QString::fromStdString(why));
        return false;
    }
    pages_->insertWidget(0, movie_->picture());
    movie_->picture()->installEventFilter(this);
    return true;
}

VideoPreview::~VideoPreview() {
    leaveFullScreen();
}

void VideoPreview::leaveFullScreen() {
    if (movie_ && movie_->fullScreen())
        movie_->setFullScreen(false);
}

QUrl VideoPreview::source() const {
    return movie_ ? movie_->source() : QUrl();
}

QObject* VideoPreview::player() const {
    return movie_ ? movie_->mediaPlayer() : nullptr;
}

QWidget* VideoPreview::videoWidget() const {
    return movie_ ? movie_->picture() : nullptr;
}

QString VideoPreview::variable(const QString& name) const {
    for (const QString& pair : flashVars_.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0 && pair.left(equals) == name)
            return pair.mid(equals + 1);
    }
    return {};
}

bool VideoPreview::autoPlay() const {
    return variable(QStringLiteral("autoplay")) == "1";
}

bool VideoPreview::fullScreenAllowed() const {
    return variable(QStringLiteral("fs")) == "1" ||
           variable(QStringLiteral("allowFullScreen")) == "true";
}

void VideoPreview::loadMovie(int /*layer*/, const QString& address) {
    load(address, false);
}

void VideoPreview::loadPromotion(const QString& address) {
    load(address, true);
}

void VideoPreview::load(const QString& address, bool promotion) {
    promotion_ = promotion;
    failed_ = false;
    errorLabel_->clear();
    if (!ensureMoviePlayer())
        return;
    pages_->setCurrentWidget(movie_->picture());
    movie_->load(QUrl(address, QUrl::TolerantMode), autoPlay());
}

void VideoPreview::stop() {
    if (!movie_)
        return;
    movie_->stop();
    leaveFullScreen();
}

void VideoPreview::toggleFullScreen() {
    if (movie_)
        movie_->setFullScreen(!movie_->fullScreen());
}

QString VideoPreview::errorText() const {
    return errorLabel_->text();
}

void VideoPreview::showError(const QString& text) {
    // The first error names the cause; the pipeline's follow-up errors do not.
    if (failed_)
        return;
    failed_ = true;
    // The framework's words are for the log, not for the user.
    qCWarning(lcSearch, "the preview of %s cannot play: %s", qUtf8Printable(source().toString()),
              qUtf8Printable(text));
    leaveFullScreen();
    errorLabel_->setText(promotion_ ? QString() : tr("Preview unavailable"));
    pages_->setCurrentWidget(errorLabel_);
}

bool VideoPreview::eventFilter(QObject* watched, QEvent* event) {
    if (movie_ && watched == movie_->picture() && event->type() == QEvent::MouseButtonDblClick &&
        fullScreenAllowed()) {
        toggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
