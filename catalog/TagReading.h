#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the catalogue keeps of a music file: its tags (ID3v2 first, ID3v1 for
// what ID3v2 lacks), with the file name standing in for a missing title or
// artist ("Artist - Title.mp3"); a file named neither way has its whole file
// name as its title and kUnknownArtist as its artist.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    int year = 0;
    std::vector<std::string> genres; // genre keys
    std::string name;                // the file name, searched beside the tags
};

struct VideoTags {
    std::string name; // the file name's words, searched beside the tags
    std::string title;
    std::string artist;
    int seconds = 0;
};

inline constexpr const char* kUnknownArtist = "Unknown Artist";

TrackTags readTrackTags(const std::string& path);
VideoTags readVideoTags(const std::string& path);

// A tag or file-name text as the catalogue stores it: control characters
// removed, blanks at both ends trimmed, broken UTF-8 read as Latin-1.
std::string cleanText(std::string_view text);

// The file name without folder and extension, cleaned, underscores as blanks.
std::string fileStem(const std::string& path);
