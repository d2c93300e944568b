#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class Playlist;

// Keeps the current playlist in the XDG state folder so that it comes back at
// the next start. Every change of the list's items is written half a second
// after the last one, on a worker thread (platform/Workers.h), through a new
// file renamed over the old one; a write never follows a newer one, and the
// last change is written before the object goes.
class SessionPlaylist : public QObject {
    Q_OBJECT
public:
    explicit SessionPlaylist(Playlist& playlist, QString file = defaultFile(),
                             QObject* parent = nullptr);
    ~SessionPlaylist() override;

    // $XDG_STATE_HOME/Kolvadeck/playlist.kvd (~/.local/state when unset).
    static QString defaultFile();

    // Adds the saved items to the list; nothing plays.
    void restore();

private:
    void changed();
    void write();

    Playlist& playlist_;
    QString file_;
    QTimer debounce_;
    struct Writes; // shared with the writes on their way
    std::shared_ptr<Writes> writes_;
    bool restoring_ = false;
};
