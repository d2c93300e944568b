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

    QString FlashVars() const { return flashVars_; }
    void SetFlashVars(const QString& variables) { flashVars_ = variables; }

    // Loads the address into the player (there is one layer; any layer number
    // replaces the movie shown) and plays it at once when autoplay=1 is set.
    void LoadMovie(int layer, const QString& address);
    // Loads a promotion the same way; one that cannot play leaves the box
    // blank instead of saying so.
    void LoadPromotion(const QString& address);

    // Stops playing and leaves full screen.
    void Stop();

    bool AutoPlay() const;
    bool FullScreenAllowed() const;
    void ToggleFullScreen();

    // The text shown in place of the picture when the movie cannot play
    // ("Preview unavailable"; the media framework's reason goes to the log);
    // empty while none is shown, and for a promotion.
    QString ErrorText() const;
    bool Failed() const { return failed_; }
    // The current movie's address, its player (a QMediaPlayer) and its
    // picture; empty or null until the first movie is loaded.
    QUrl Source() const;
    QObject* Player() const;
    QWidget* VideoWidget() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool EnsureMoviePlayer();
    void LeaveFullScreen();
    void Load(const QString& address, bool promotion);
    void ShowError(const QString& text);
    QString Variable(const QString& name) const;

    QString flashVars_;
    std::unique_ptr<MoviePlayer> movie_;
    QLabel* errorLabel_ = nullptr;
    QStackedLayout* pages_ = nullptr;
    bool promotion_ = false;
    bool failed_ = false;
};
