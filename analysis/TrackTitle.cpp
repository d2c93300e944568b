#include "analysis/TrackTitle.h"

#include "formats/ChunkTextTags.h"

#include <QFile>
#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace analysis {

namespace {

QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true)).trimmed();
}

} // namespace

std::optional<QString> TagTitle(const std::string& path) {
    QString artist, title;
    {
        TagLib::FileRef file(path.c_str(), false);
        if (!file.isNull() && file.tag()) {
            artist = FromTagLib(file.tag()->artist());
            title = FromTagLib(file.tag()->title());
        }
    }
    // A WAV or AIFF without an ID3 chunk may still be named in its own chunks.
    if (artist.isEmpty() && title.isEmpty())
        if (const std::optional<formats::ChunkTextTags> chunks = formats::ReadChunkTextTags(path)) {
            artist = QString::fromStdString(chunks->artist);
            title = QString::fromStdString(chunks->title);
        }
    if (artist.isEmpty() && title.isEmpty())
        return std::nullopt;
    return artist + QStringLiteral(" - ") + title;
}

QString TrackTitle(const std::string& path) {
    if (std::optional<QString> title = TagTitle(path))
        return *title;
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace analysis
