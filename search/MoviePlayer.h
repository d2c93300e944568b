#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

class QObject;
class QWidget;

// The media framework's side of the video preview: one movie's player, its
// sound output and its picture. It lives in the kolvadeck-preview module, so
// that Qt Multimedia and what it brings load with the first movie, not at
// start.
class MoviePlayer {
public:
    virtual ~MoviePlayer() = default;

    // The picture, a child of the widget the player was made for.
    virtual QWidget* picture() const = 0;
    // Drops the previous movie's player and loads the address into a new
    // one, so that errors still on their way from the old movie cannot reach
    // the new one; plays it at once when asked.
    virtual void load(const QUrl& address, bool play) = 0;
    virtual void stop() = 0;
    virtual QUrl source() const = 0;
    virtual void setFullScreen(bool on) = 0;
    virtual bool fullScreen() const = 0;
    // The framework's own player object (a QMediaPlayer), for tests.
    virtual QObject* mediaPlayer() const = 0;
};

// Makes a player drawing into `host`; `onError` gets the framework's words
// for a movie that cannot play. Null, with the reason in why, when the
// module cannot be loaded.
std::unique_ptr<MoviePlayer>
makeMoviePlayer(QWidget* host, std::function<void(const QString&)> onError, std::string* why);
