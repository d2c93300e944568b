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
bool VideoPreview::EnsureMoviePlayer() {
    if (movie_)
        return true;
    std::string why;
    movie_ = MakeMoviePlayer(
        this, [this](const QString& text) { ShowError(text); }, &why);
    if (!movie_) {
        ShowError(QString::fromStdString(why));
        return false;
    }
    pages_->insertWidget(0, movie_->Picture());
    movie_->Picture()->installEventFilter(this);
    return true;
}

VideoPreview::~VideoPreview() {
    LeaveFullScreen();
}

void VideoPreview::LeaveFullScreen() {
    if (movie_ && movie_->FullScreen())
        movie_->SetFullScreen(false);
}

QUrl VideoPreview::Source() const {
    return movie_ ? movie_->Source() : QUrl();
}

QObject* VideoPreview::Player() const {
    return movie_ ? movie_->MediaPlayer() : nullptr;
}

QWidget* VideoPreview::VideoWidget() const {
    return movie_ ? movie_->Picture() : nullptr;
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
    if (!EnsureMoviePlayer())
        return;
    pages_->setCurrentWidget(movie_->Picture());
    movie_->Load(QUrl(address, QUrl::TolerantMode), AutoPlay());
}

void VideoPreview::Stop() {
    if (!movie_)
        return;
    movie_->Stop();
    LeaveFullScreen();
}

void VideoPreview::ToggleFullScreen() {
    if (movie_)
        movie_->SetFullScreen(!movie_->FullScreen());
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
    qCWarning(lcSearch, "the preview of %s cannot play: %s", qUtf8Printable(Source().toString()),
              qUtf8Printable(text));
    LeaveFullScreen();
    errorLabel_->setText(promotion_ ? QString() : tr("Preview unavailable"));
    pages_->setCurrentWidget(errorLabel_);
}

bool VideoPreview::eventFilter(QObject* watched, QEvent* event) {
    if (movie_ && watched == movie_->Picture() && event->type() == QEvent::MouseButtonDblClick &&
        FullScreenAllowed()) {
        ToggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
