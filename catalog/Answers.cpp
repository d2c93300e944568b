#include "catalog/Answers.h"

#include "catalog/TagReading.h"
#include "catalog/XmlText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace answers {
namespace {

using xmltext::appendElement;
using xmltext::appendEscaped;

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string number(std::int64_t value) {
    return std::to_string(value);
}

std::int64_t totalPages(std::int64_t total, std::int64_t perPage) {
    return perPage > 0 ? (total + perPage - 1) / perPage : 0;
}

void appendAttribute(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

// Similar tracks carry a match figure between 0 and 1 as the public API does.
std::string matchOf(std::int64_t score) {
    double match = 0.25;
    if (score >= 3000)
        match = 1.0;
    else if (score > 2000)
        match = 0.5 + 0.05 * static_cast<double>(std::min<std::int64_t>(score - 2000, 9));
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", match);
    return text;
}

// The paging counts (total, start, page size) go under a namespace of the
// catalogue's own: the client reads only each layout's own elements and
// skips these, which are there for people and other tools.
constexpr const char* kPagingNamespace = "http://kolvadeck.org/ns/paging";

// The track's file as a file: address, every byte but the unreserved ones and
// the slashes percent-encoded, so that any name survives the trip.
void appendFileAddress(std::string& out, const std::string& path) {
    if (path.empty())
        return;
    static const char* const kHex = "0123456789ABCDEF";
    std::string address = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            address += c;
        } else if (c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            address += c;
        } else {
            address += '%';
            address += kHex[byte >> 4];
            address += kHex[byte & 0x0F];
        }
    }
    appendElement(out, "url", address);
}

// A track whose file named no artist carries none: the reader then lists it
// by its title, which is its file name when it has no tags at all.
bool knownArtist(const queries::Track& track) {
    return track.artist != kUnknownArtist;
}

} // namespace

std::string trackSearch(const std::string& text, const queries::Found<queries::Track>& found,
                        Paging paging) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<results";
    appendAttribute(out, "for", text);
    out += " xmlns:opensearch=\"";
    out += kPagingNamespace;
    out += "\">\n<opensearch:Query "
           "role=\"request\"";
    appendAttribute(out, "searchTerms", text);
    appendAttribute(out, "startPage", number(paging.page));
    out += "/>\n";
    appendElement(out, "opensearch:totalResults", number(found.total));
    appendElement(out, "opensearch:startIndex", number((paging.page - 1) * paging.perPage));
    appendElement(out, "opensearch:itemsPerPage", number(paging.perPage));
    out += "\n<trackmatches>\n";
    for (const queries::Track& track : found.rows) {
        out += "<track>";
        appendElement(out, "name", track.title);
        if (knownArtist(track))
            appendElement(out, "artist", track.artist);
        appendFileAddress(out, track.path);
        out += "<streamable>0</streamable><listeners>0</listeners></track>\n";
    }
    out += "</trackmatches>\n</results>\n</lfm>\n";
    return out;
}

std::string similarTracks(const std::string& artist, const std::string& track,
                          const queries::Found<queries::Track>& found) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<similartracks";
    appendAttribute(out, "track", track);
    appendAttribute(out, "artist", artist);
    out += ">\n";
    for (const queries::Track& similar : found.rows) {
        out += "<track>";
        appendElement(out, "name", similar.title);
        appendElement(out, "match", matchOf(similar.score));
        appendFileAddress(out, similar.path);
        out += "<streamable>0</streamable>";
        if (knownArtist(similar)) {
            out += "<artist>";
            appendElement(out, "name", similar.artist);
            out += "</artist>";
        }
        out += "</track>\n";
    }
    out += "</similartracks>\n</lfm>\n";
    return out;
}

std::string topArtists(const std::string& tag, const queries::Found<queries::Artist>& found,
                       Paging paging) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<topartists";
    appendAttribute(out, "tag", tag);
    appendAttribute(out, "page", number(paging.page));
    appendAttribute(out, "perPage", number(paging.perPage));
    appendAttribute(out, "totalPages", number(totalPages(found.total, paging.perPage)));
    appendAttribute(out, "total", number(found.total));
    out += ">\n";
    std::int64_t rank = (paging.page - 1) * paging.perPage;
    for (const queries::Artist& artist : found.rows) {
        out += "<artist";
        appendAttribute(out, "rank", number(++rank));
        out += '>';
        appendElement(out, "name", artist.name);
        appendElement(out, "tagcount", number(artist.tracks));
        out += "<streamable>0</streamable></artist>\n";
    }
    out += "</topartists>\n</lfm>\n";
    return out;
}

std::string similarArtists(const std::string& artist,
                           const queries::Found<queries::Artist>& found) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<similarartists";
    appendAttribute(out, "artist", artist);
    out += ">\n";
    for (const queries::Artist& similar : found.rows) {
        out += "<artist>";
        appendElement(out, "name", similar.name);
        appendElement(out, "sharedgenres", number(similar.sharedGenres));
        appendElement(out, "shareddecades", number(similar.sharedDecades));
        out += "<streamable>0</streamable></artist>\n";
    }
    out += "</similarartists>\n</lfm>\n";
    return out;
}

std::string mediaAddress(const std::string& serviceAddress, const queries::Video& video) {
    return serviceAddress + "/media/" + number(video.id) + "." + video.extension;
}

std::string streamAddress(const std::string& serviceAddress, const queries::Video& video,
                          const char* format) {
    return mediaAddress(serviceAddress, video) + "?format=" + format;
}

std::string videoFeed(const std::string& text, const queries::Found<queries::Video>& found,
                      std::int64_t startIndex, std::int64_t perPage,
                      const std::string& serviceAddress) {
    std::string out = kDeclaration;
    out += "<feed xmlns=\"http://www.w3.org/2005/Atom\" "
           "xmlns:openSearch=\"" +
           std::string(kPagingNamespace) +
           "\" "
           "xmlns:media=\"http://search.yahoo.com/mrss/\" "
           "xmlns:yt=\"http://gdata.youtube.com/schemas/2007\">\n";
    appendElement(out, "id", serviceAddress + "/api/video/");
    out += "<title type=\"text\">";
    appendEscaped(out, "Videos matching: " + text);
    out += "</title>\n";
    appendElement(out, "openSearch:totalResults", number(found.total));
    appendElement(out, "openSearch:startIndex", number(startIndex));
    appendElement(out, "openSearch:itemsPerPage", number(perPage));
    out += '\n';
    // Entries come last: the reader takes every node after the first entry as one.
    for (const queries::Video& video : found.rows) {
        const std::string media = mediaAddress(serviceAddress, video);
        out += "<entry>";
        appendElement(out, "id", media);
        out += "<title type=\"text\">";
        appendEscaped(out, video.title);
        out += "</title><link rel=\"alternate\"";
        appendAttribute(out, "type", "video/" + video.extension);
        appendAttribute(out, "href", media);
        out += "/>";
        if (!video.artist.empty()) {
            out += "<author>";
            appendElement(out, "name", video.artist);
            out += "</author>";
        }
        out += "<media:group><media:title type=\"plain\">";
        appendEscaped(out, video.title);
        out += "</media:title><media:content";
        appendAttribute(out, "url", streamAddress(serviceAddress, video, "5"));
        out += " type=\"application/x-shockwave-flash\" medium=\"video\" isDefault=\"true\" "
               "expression=\"full\"";
        appendAttribute(out, "duration", number(video.seconds));
        out += " yt:format=\"5\"/><media:content";
        appendAttribute(out, "url", streamAddress(serviceAddress, video, "1"));
        out += " type=\"video/3gpp\" medium=\"video\" expression=\"full\"";
        appendAttribute(out, "duration", number(video.seconds));
        out += " yt:format=\"1\"/></media:group></entry>\n";
    }
    out += "</feed>\n";
    return out;
}

std::string failure(int code, const std::string& message) {
    std::string out = kDeclaration;
    out += "<lfm status=\"failed\"><error";
    appendAttribute(out, "code", number(code));
    out += '>';
    appendEscaped(out, message);
    out += "</error></lfm>\n";
    return out;
}

} // namespace answers
