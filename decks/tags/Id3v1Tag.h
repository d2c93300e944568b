#pragma once

#include "decks/tags/TagErrors.h"
#include "decks/tags/TagFile.h"

#include <cstdint>
#include <string>

// The full tag reader, the writer and the genre names the tag editor uses.
// Texts are the tag's raw bytes (Windows-1252, see platform/Ansi1252.h).

struct ID3Tag {
    bool present = false; // the last 128 bytes begin with "TAG"
    std::string title;    // up to 30 bytes
    std::string artist;   // up to 30 bytes
    std::string album;    // up to 30 bytes
    std::string year;     // up to 4 bytes
    std::string comment;  // up to 29 bytes
    uint8_t track = 0;
    uint8_t genre = 0;
};

// Reads the ID3v1 tag. False only when the file cannot be opened (missing,
// unreadable, a folder); EInOutError when reading fails after that.
// Each text ends before its first zero byte; a text without one loses its
// trailing spaces. A file without a tag (no "TAG" in its last 128 bytes, or
// shorter than 128 bytes) gives present = false, empty texts, track 0 and
// genre 255 ("none"), so that an edited tag written to it stays clean.
// With a stamp, it receives the state of the file the tag was read from.
bool readTag(const std::string& path, ID3Tag& tag, FileStamp* stamp = nullptr);

// Writes the tag: over the old one when the last 128 bytes begin with "TAG",
// else appended (exactly 128 bytes). Texts longer than their field are cut.
// False, with the file untouched, when it cannot be opened for writing
// (missing, a folder, read-only by its permissions even for root);
// EInOutError when a read or write fails after that.
bool writeTag(const std::string& path, const ID3Tag& tag);

enum class TagWrite { Written, NotOpened, Changed };

// WriteTag for an edit of the tag read with the stamp `read`: the file is
// written only when, opened for writing, it is still that file with that size
// and modification time; otherwise Changed, with the file untouched, so that
// an edit never overwrites what another program wrote meanwhile.
TagWrite writeTagIfUnchanged(const std::string& path, const ID3Tag& tag, const FileStamp& read);

// The number of names in the standard ID3v1 genre list (0..kGenreCount - 1).
inline constexpr int kGenreCount = 80;

// 0..79: the standard ID3v1 genre list; 255: "< unbekannt >";
// any other number n: "< unbekannt (#n) >".
std::string genreName(int genre);
