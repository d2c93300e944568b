#include "search/LocalTracks.h"

#include <QDir>
#include <QStandardPaths>

namespace {
QString cleaned(const QString& folder) {
    return folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}
} // namespace

QStringList cataloguedMusicFolders() {
    QStringList folders;
    QString music = cleaned(qEnvironmentVariable("XDG_MUSIC_DIR"));
    if (music.isEmpty())
        music = cleaned(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    if (!music.isEmpty() && music.startsWith(u'/') && music != cleaned(QDir::homePath()))
        folders << music;
    for (const QString& folder :
         qEnvironmentVariable("KOLVADECK_MUSIC_DIRS").split(u':', Qt::SkipEmptyParts))
        if (folder.startsWith(u'/'))
            folders << cleaned(folder);
    return folders;
}

QString cataloguedFile(const std::string& path, const QStringList& folders) {
    const QString file = QString::fromStdString(path);
    if (!file.startsWith(u'/'))
        return {};
    const QString cleaned = QDir::cleanPath(file);
    for (const QString& folder : folders) {
        const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
        if (cleaned.startsWith(prefix) && cleaned.size() > prefix.size())
            return cleaned;
    }
    return {};
}
