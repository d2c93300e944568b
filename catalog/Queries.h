#pragma once

#include "catalog/Database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The searches the service answers over the catalogue: the full-text
// searches read only their page's rows, the similar and top answers their
// precomputed lists (see Similarity.h), with plain SQL while those are made.
namespace queries {

struct Window {
    std::int64_t limit = 100;
    std::int64_t offset = 0;
};

struct Track {
    std::string title;
    std::string artist;
    std::int64_t score = 0; // similar tracks: 3000 same artist, 2000+n n shared genres, 1000 decade
    std::string path;       // the catalogued file
};

struct Artist {
    std::string name;
    std::int64_t tracks = 0;        // top artists: tracks matching the tag
    std::int64_t sharedGenres = 0;  // similar artists
    std::int64_t sharedDecades = 0; // similar artists
};

struct Video {
    std::int64_t id = 0;
    std::string title;
    std::string artist;
    std::string extension;
    std::int64_t seconds = 0;
};

template <class Row> struct Found {
    std::vector<Row> rows;
    std::int64_t total = 0; // matches over all pages
};

// An FTS5 query asking for every word of the text (as a word or its start);
// empty when the text holds no word.
std::string matchAllWords(const std::string& text);

Found<Track> searchTracks(Database& db, const std::string& text, Window window);
Found<Track> similarTracks(Database& db, const std::string& artist, const std::string& track,
                           Window window);
Found<Artist> topArtists(Database& db, const std::string& tag, Window window);
Found<Artist> similarArtists(Database& db, const std::string& artist, Window window);
Found<Video> searchVideos(Database& db, const std::string& text, Window window);

struct VideoFile {
    std::string path;
    std::string extension;
};
std::optional<VideoFile> findVideoFile(Database& db, std::int64_t id);

} // namespace queries
