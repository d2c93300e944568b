#pragma once

#include "catalog/Queries.h"

#include <string>

// The XML answers, laid out as the public music API and the video feed that
// the player reads: music methods under <lfm status="ok">, each result list
// the first child of the document element and holding nothing but its rows;
// videos as an Atom feed whose entries come last, each with a media:group of
// a Flash and a 3GPP content and a link to the file.
namespace answers {

struct Paging {
    std::int64_t page = 1;
    std::int64_t perPage = 100;
};

std::string trackSearch(const std::string& text, const queries::Found<queries::Track>& found,
                        Paging paging);
std::string similarTracks(const std::string& artist, const std::string& track,
                          const queries::Found<queries::Track>& found);
std::string topArtists(const std::string& tag, const queries::Found<queries::Artist>& found,
                       Paging paging);
std::string similarArtists(const std::string& artist, const queries::Found<queries::Artist>& found);

// serviceAddress: "http://host:port", the start of every media address.
std::string videoFeed(const std::string& text, const queries::Found<queries::Video>& found,
                      std::int64_t startIndex, std::int64_t perPage,
                      const std::string& serviceAddress);

// The error answer of the music API: <lfm status="failed"><error code=..>.
std::string failure(int code, const std::string& message);

// Media addresses of a catalogued video.
std::string mediaAddress(const std::string& serviceAddress, const queries::Video& video);
std::string streamAddress(const std::string& serviceAddress, const queries::Video& video,
                          const char* format);

} // namespace answers
