#include "analysis/TrackTitle.h"

#include "formats/ChunkTextTags.h"

#include <QFile>
#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace analysis {

namespace {

QString fromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true)).trimmed();
}

} // namespace

std::optional<QString> tagTitle(const std::string& path) {
    QString artist, title;
    {
        TagLib::FileRef file(path.c_str(), false);
        if (!file.isNull() && file.tag()) {
            artist = fromTagLib(file.tag()->artist());
            title = fromTagLib(file.tag()->title());
        }
    }
    // A WAV or AIFF without an ID3 chunk may still be named in its own chunks.
    if (artist.isEmpty() && title.isEmpty())
        if (const std::optional<formats::ChunkTextTags> chunks = formats::readChunkTextTags(path)) {
            artist = QString::fromStdString(chunks->artist);
            title = QString::fromStdString(chunks->title);
        }
    if (artist.isEmpty() && title.isEmpty())
        return std::nullopt;
    return artist + QStringLiteral(" - ") + title;
}

QString trackTitle(const std::string& path) {
    if (std::optional<QString> title = tagTitle(path))
        return *title;
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace analysis
