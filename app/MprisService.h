#pragma once

#include "decks/Deck.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class DeckEngine;
class Playlist;

// The program as an MPRIS media player on the session bus
// (org.mpris.MediaPlayer2.kolvadeck), so that media keys and the desktop's
// player controls reach the decks. Without a session bus there is none.
class MprisService : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> raise;
        std::function<void()> quit;
    };
    // Null when no session bus is configured or reachable.
    static std::unique_ptr<MprisService> start(DeckEngine& decks, Playlist& playlist, Hooks hooks);
    ~MprisService() override;

    QString serviceName() const { return serviceName_; }

    enum class HandOver { NoneRunning, Taken, Failed };
    // Gives absolute file paths to the playlist of the program already
    // running on the session bus. NoneRunning when no bus or no such program
    // (or one too old to take files) answers; Failed, with the reason in
    // *error, when it is there but did not take them. Made at start, before
    // the window exists: it waits for the answer (at most a few seconds).
    static HandOver handToRunningPlayer(const QStringList& paths, QString* error);

private:
    explicit MprisService(QDBusConnection bus);
    // The file of a deck's picture for the shell to show, written once into
    // the cache folder.
    static QString deckArtwork(Deck deck);

    QDBusConnection bus_;
    QString serviceName_;
};
