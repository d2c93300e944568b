#pragma once

#include "search/MoviePlayer.h"

#include <QString>
#include <QWidget>

#include <memory>

class QLabel;
class QStackedLayout;

// The video preview player. It keeps the members the program uses of the old
// browser plug-in: a variables string (`FlashVars`), `LoadMovie` and `Stop`,
// and plays through Qt Multimedia. The variables honoured are autoplay=1
// (start playing as soon as a movie is loaded) and fs=1 or
// allowFullScreen=true (a double click on the picture toggles full screen).
// A movie that cannot play shows the player's error text in place of the
// picture. The player itself comes from a module loaded with the first movie.
class VideoPreview : public QWidget {
    Q_OBJECT
public:
    explicit VideoPreview(QWidget* parent = nullptr);
    ~VideoPreview() override;

    QString flashVars() const { return flashVars_; }
    void setFlashVars(const QString& variables) { flashVars_ = variables; }

    // Loads the address into the player (there is one layer; any layer number
    // replaces the movie shown) and plays it at once when autoplay=1 is set.
    void loadMovie(int layer, const QString& address);
    // Loads a promotion the same way; one that cannot play leaves the box
    // blank instead of saying so.
    void loadPromotion(const QString& address);

    // Stops playing and leaves full screen.
    void stop();

    bool autoPlay() const;
    bool fullScreenAllowed() const;
    void toggleFullScreen();

    // The text shown in place of the picture when the movie cannot play
    // ("Preview unavailable"; the media framework's reason goes to the log);
    // empty while none is shown, and for a promotion.
    QString errorText() const;
    bool failed() const { return failed_; }
    // The current movie's address, its player (a QMediaPlayer) and its
    // picture; empty or null until the first movie is loaded.
    QUrl source() const;
    QObject* player() const;
    QWidget* videoWidget() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ensureMoviePlayer();
    void leaveFullScreen();
    void load(const QString& address, bool promotion);
    void showError(const QString& text);
    QString variable(const QString& name) const;

    QString flashVars_;
    std::unique_ptr<MoviePlayer> movie_;
    QLabel* errorLabel_ = nullptr;
    QStackedLayout* pages_ = nullptr;
    bool promotion_ = false;
    bool failed_ = false;
};
