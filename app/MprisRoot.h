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
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    MprisRoot(QObject* exported, std::function<void()> raise, std::function<void()> quit);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Kolvadeck"); }
    QString DesktopEntry() const { return QStringLiteral("kolvadeck"); }
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { raise_(); }
    void Quit() { quit_(); }

    // NOLINTEND(readability-identifier-naming)
private:
    std::function<void()> raise_;
    std::function<void()> quit_;
};
