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
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ False)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ False)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    // artwork(deck) is the file of a deck's picture, or empty when it has none.
    MprisPlayer(QObject* exported, QDBusConnection bus, DeckEngine& decks, Playlist& playlist,
                std::function<QString(Deck deck)> artwork);

    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    double Volume() const { return 1.0; }
    QVariantMap Metadata() const { return metadata_; }
    qlonglong Position() const;
    bool CanGoNext() const { return playing(); }
    bool CanPlay() const;
    bool CanPause() const { return playing(); }
    bool CanControl() const { return true; }
    bool False() const { return false; }

public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

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
