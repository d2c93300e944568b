#pragma once

#include <string>

// One request to the search service: a method name and its text arguments,
// any of which may be empty.
struct SearchRequest {
    std::string method;
    std::string text;
    std::string artist;
    std::string track;

    bool operator==(const SearchRequest&) const = default;
};

// The service's method names.
namespace methods {
inline constexpr const char* kTrackSearch = "track.search";
inline constexpr const char* kTrackGetSimilar = "track.getSimilar";
inline constexpr const char* kTagGetTopArtists = "tag.getTopArtists";
inline constexpr const char* kArtistGetSimilar = "artist.getSimilar";
inline constexpr const char* kYoutubeSources = "youtube.sources";
} // namespace methods
