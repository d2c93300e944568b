#include "search/LocalTracks.h"

#include <QDir>
#include <QStandardPaths>

namespace {
QString Cleaned(const QString& folder) {
    return folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}
} // namespace

QStringList CataloguedMusicFolders() {
    QStringList folders;
    QString music = Cleaned(qEnvironmentVariable("XDG_MUSIC_DIR"));
    if (music.isEmpty())
        music = Cleaned(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    if (!music.isEmpty() && music.startsWith(u'/') && music != Cleaned(QDir::homePath()))
        folders << music;
    for (const QString& folder :
         qEnvironmentVariable("KOLVADECK_MUSIC_DIRS").split(u':', Qt::SkipEmptyParts))
        if (folder.startsWith(u'/'))
            folders << Cleaned(folder);
    return folders;
}

QString CataloguedFile(const std::string& path, const QStringList& folders) {
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
