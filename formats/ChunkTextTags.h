#pragma once

#include <optional>
#include <string>

namespace formats {

// Artist and title that WAV and AIFF writers keep in chunks of their own
// rather than in a tag TagLib's FileRef reads: a WAV's RIFF "LIST"/"INFO"
// chunk (IART, INAM) and an AIFF's "AUTH" and "NAME" chunks. Their text is
// given as UTF-8: taken as such when it is (what ffmpeg writes), else read
// as Latin-1; blanks at both ends trimmed. Nothing when the file is neither,
// cannot be read, or holds neither field.
struct ChunkTextTags {
    std::string artist, title;
};
std::optional<ChunkTextTags> readChunkTextTags(const std::string& path);

} // namespace formats
