#include "analysis/FileTags.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace analysis {

namespace {
QString fromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true)).trimmed();
}
} // namespace

std::optional<FileTags> readFileTags(const std::string& path) {
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || !file.tag())
        return std::nullopt;
    const TagLib::Tag& tag = *file.tag();
    FileTags tags{fromTagLib(tag.artist()), fromTagLib(tag.title()),
                  fromTagLib(tag.album()),  tag.year() ? QString::number(tag.year()) : QString(),
                  fromTagLib(tag.genre()),  int(tag.track())};
    return tags;
}

} // namespace analysis
