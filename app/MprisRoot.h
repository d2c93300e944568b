#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <functional>

// The MPRIS root interface: who the player is, and raising or quitting its
// window from a desktop shell.
class MprisRoot : public QDBusAbstractAdaptor {
    // The D-Bus interface: these names are the protocol's, not ours.
    // NOLINTBEGIN(readability-identifier-naming)
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool canQuit READ canQuit)
    Q_PROPERTY(bool canRaise READ canRaise)
    Q_PROPERTY(bool hasTrackList READ hasTrackList)
    Q_PROPERTY(QString identity READ identity)
    Q_PROPERTY(QString desktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList supportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList supportedMimeTypes READ supportedMimeTypes)
public:
    MprisRoot(QObject* exported, std::function<void()> raise, std::function<void()> quit);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Kolvadeck"); }
    QString desktopEntry() const { return QStringLiteral("kolvadeck"); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void raise() { raise_(); }
    void quit() { quit_(); }

    // NOLINTEND(readability-identifier-naming)
private:
    std::function<void()> raise_;
    std::function<void()> quit_;
};
