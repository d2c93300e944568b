#pragma once

#include "decks/tags/TagErrors.h"

#include <cstdint>
#include <string>

// The quick tag reader the playlist uses for its titles.

// The raw fields of the last 128 bytes of a file. Each text holds exactly the
// bytes of its field (zero bytes and padding included); the comment takes 30
// bytes, the track byte with it. The marker is copied, not checked: callers
// that care whether a tag is present compare it with "TAG".
struct TitleTag {
    std::string marker;  // 3 bytes
    std::string title;   // 30 bytes
    std::string artist;  // 30 bytes
    std::string album;   // 30 bytes
    std::string year;    // 4 bytes
    std::string comment; // 30 bytes
    uint8_t genre = 0;
};

// Reads the last 128 bytes of the file. A file of 128 bytes or less is read
// from its start; bytes past its end stay zero. Throws EFOpenError when the
// file cannot be opened for reading (missing, unreadable, a folder) and
// EInOutError when reading fails after that.
TitleTag readTitleTag(const std::string& path);
