#pragma once

#include <QString>
#include <optional>
#include <string>

namespace analysis {

// The common tag fields of a file of any format TagLib reads (ID3v2, Vorbis
// comments, MP4 atoms, APE), for showing; the year is empty when unset.
struct FileTags {
    QString artist, title, album, year, genre;
    int track = 0; // the track number; 0 when unset
};

// Nothing when TagLib cannot read the file or it holds no tag.
std::optional<FileTags> readFileTags(const std::string& path);

} // namespace analysis
