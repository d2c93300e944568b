#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <functional>

class Playlist;

// Beside the MPRIS interfaces, on the same object: files for the playlist of
// the program that runs, from a second start of it (its command line, a file
// manager's "Open With"). The files are appended in order as if dropped on
// the list (existing files of the formats the decks play), and the window is
// raised.
class MprisPlaylistFiles : public QDBusAbstractAdaptor {
    // The D-Bus interface: these names are the protocol's, not ours.
    // NOLINTBEGIN(readability-identifier-naming)
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kolvadeck.Playlist")
public:
    static constexpr const char* kInterface = "org.kolvadeck.Playlist";

    MprisPlaylistFiles(QObject* exported, Playlist& playlist, std::function<void()> raise);

public slots:
    // Absolute paths; returns how many rows were added.
    int AddFiles(const QStringList& paths);

    // NOLINTEND(readability-identifier-naming)
private:
    Playlist& playlist_;
    std::function<void()> raise_;
};
