#pragma once

#include "decks/Deck.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <functional>

class DeckEngine;
class Playlist;

// The MPRIS player interface over the decks: Play starts the list (or
// resumes it from a pause), Pause holds both decks where they are, Stop stops
// the list, "Next" advances now with the usual fade, and the metadata are
// those of the track that started last. Changes
// are announced on the bus by PropertiesChanged.
class MprisPlayer : public QDBusAbstractAdaptor {
    // The D-Bus interface: these names are the protocol's, not ours.
    // NOLINTBEGIN(readability-identifier-naming)
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString playbackStatus READ playbackStatus)
    Q_PROPERTY(double rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(QVariantMap metadata READ metadata)
    Q_PROPERTY(qlonglong position READ position)
    Q_PROPERTY(bool canGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ false)
    Q_PROPERTY(bool canPlay READ canPlay)
    Q_PROPERTY(bool canPause READ canPause)
    Q_PROPERTY(bool CanSeek READ false)
    Q_PROPERTY(bool canControl READ canControl)
public:
    // artwork(deck) is the file of a deck's picture, or empty when it has none.
    MprisPlayer(QObject* exported, QDBusConnection bus, DeckEngine& decks, Playlist& playlist,
                std::function<QString(Deck deck)> artwork);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    double volume() const { return 1.0; }
    QVariantMap metadata() const { return metadata_; }
    qlonglong position() const;
    bool canGoNext() const { return playing(); }
    bool canPlay() const;
    bool canPause() const { return playing(); }
    bool canControl() const { return true; }
    bool false() const { return false; }

public slots:
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous() {}
    void seek(qlonglong) {}
    void setPosition(const QDBusObjectPath&, qlonglong) {}
    void openUri(const QString&) {}

signals:
    void seeked(qlonglong position);

    // NOLINTEND(readability-identifier-naming)
private:
    bool playing() const;
    void trackStarted(Deck deck, int index);
    void announceChanged(const QStringList& names);

    QDBusConnection bus_;
    DeckEngine& decks_;
    Playlist& playlist_;
    std::function<QString(Deck)> artwork_;
    QVariantMap metadata_;
    int trackCount_ = 0; // makes each started track's id new
};
