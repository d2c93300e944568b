#pragma once

#include <QString>
#include <optional>
#include <string>

namespace analysis {

// "Artist - Title" from the file's own tags as TagLib reads them (ID3v2,
// Vorbis comments, MP4 atoms, APE); nothing when the file has neither an
// artist nor a title, or cannot be read.
std::optional<QString> tagTitle(const std::string& path);

// TagTitle, else the file's name (with its extension), as a playlist row shows it.
QString trackTitle(const std::string& path);

} // namespace analysis
