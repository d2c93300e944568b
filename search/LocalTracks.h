#pragma once

#include <QString>
#include <QStringList>

#include <string>

// The folders the bundled catalogue catalogues music in, by its own rules:
// the XDG music folder (XDG_MUSIC_DIR, else the user-dirs file's, else
// ~/Music; never the home folder itself) and those of KOLVADECK_MUSIC_DIRS.
QStringList cataloguedMusicFolders();

// The path, cleaned, when it is an absolute path lying inside one of the
// folders; empty otherwise. An answer names files only there: the playlist
// is never handed a file from elsewhere, whatever an answer says.
QString cataloguedFile(const std::string& path, const QStringList& folders);
