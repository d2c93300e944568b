#include "catalog/Answers.h"

#include "catalog/TagReading.h"
#include "catalog/XmlText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace answers {
namespace {

using xmltext::AppendElement;
using xmltext::AppendEscaped;

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

std::int64_t TotalPages(std::int64_t total, std::int64_t perPage) {
    return perPage > 0 ? (total + perPage - 1) / perPage : 0;
}

void AppendAttribute(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendEscaped(out, value);
    out += '"';
}

// Similar tracks carry a match figure between 0 and 1 as the public API does.
std::string MatchOf(std::int64_t score) {
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
void AppendFileAddress(std::string& out, const std::string& path) {
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
    AppendElement(out, "url", address);
}

// A track whose file named no artist carries none: the reader then lists it
// by its title, which is its file name when it has no tags at all.
bool KnownArtist(const queries::Track& track) {
    return track.artist != kUnknownArtist;
}

} // namespace

std::string TrackSearch(const std::string& text, const queries::Found<queries::Track>& found,
                        Paging paging) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<results";
    AppendAttribute(out, "for", text);
    out += " xmlns:opensearch=\"";
    out += kPagingNamespace;
    out += "\">\n<opensearch:Query "
           "role=\"request\"";
    AppendAttribute(out, "searchTerms", text);
    AppendAttribute(out, "startPage", Number(paging.page));
    out += "/>\n";
    AppendElement(out, "opensearch:totalResults", Number(found.total));
    AppendElement(out, "opensearch:startIndex", Number((paging.page - 1) * paging.perPage));
    AppendElement(out, "opensearch:itemsPerPage", Number(paging.perPage));
    out += "\n<trackmatches>\n";
    for (const queries::Track& track : found.rows) {
        out += "<track>";
        AppendElement(out, "name", track.title);
        if (KnownArtist(track))
            AppendElement(out, "artist", track.artist);
        AppendFileAddress(out, track.path);
        out += "<streamable>0</streamable><listeners>0</listeners></track>\n";
    }
    out += "</trackmatches>\n</results>\n</lfm>\n";
    return out;
}

std::string SimilarTracks(const std::string& artist, const std::string& track,
                          const queries::Found<queries::Track>& found) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<similartracks";
    AppendAttribute(out, "track", track);
    AppendAttribute(out, "artist", artist);
    out += ">\n";
    for (const queries::Track& similar : found.rows) {
        out += "<track>";
        AppendElement(out, "name", similar.title);
        AppendElement(out, "match", MatchOf(similar.score));
        AppendFileAddress(out, similar.path);
        out += "<streamable>0</streamable>";
        if (KnownArtist(similar)) {
            out += "<artist>";
            AppendElement(out, "name", similar.artist);
            out += "</artist>";
        }
        out += "</track>\n";
    }
    out += "</similartracks>\n</lfm>\n";
    return out;
}

std::string TopArtists(const std::string& tag, const queries::Found<queries::Artist>& found,
                       Paging paging) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<topartists";
    AppendAttribute(out, "tag", tag);
    AppendAttribute(out, "page", Number(paging.page));
    AppendAttribute(out, "perPage", Number(paging.perPage));
    AppendAttribute(out, "totalPages", Number(TotalPages(found.total, paging.perPage)));
    AppendAttribute(out, "total", Number(found.total));
    out += ">\n";
    std::int64_t rank = (paging.page - 1) * paging.perPage;
    for (const queries::Artist& artist : found.rows) {
        out += "<artist";
        AppendAttribute(out, "rank", Number(++rank));
        out += '>';
        AppendElement(out, "name", artist.name);
        AppendElement(out, "tagcount", Number(artist.tracks));
        out += "<streamable>0</streamable></artist>\n";
    }
    out += "</topartists>\n</lfm>\n";
    return out;
}

std::string SimilarArtists(const std::string& artist,
                           const queries::Found<queries::Artist>& found) {
    std::string out = kDeclaration;
    out += "<lfm status=\"ok\">\n<similarartists";
    AppendAttribute(out, "artist", artist);
    out += ">\n";
    for (const queries::Artist& similar : found.rows) {
        out += "<artist>";
        AppendElement(out, "name", similar.name);
        AppendElement(out, "sharedgenres", Number(similar.sharedGenres));
        AppendElement(out, "shareddecades", Number(similar.sharedDecades));
        out += "<streamable>0</streamable></artist>\n";
    }
    out += "</similarartists>\n</lfm>\n";
    return out;
}

std::string MediaAddress(const std::string& serviceAddress, const queries::Video& video) {
    return serviceAddress + "/media/" + Number(video.id) + "." + video.extension;
}

std::string StreamAddress(const std::string& serviceAddress, const queries::Video& video,
                          const char* format) {
    return MediaAddress(serviceAddress, video) + "?format=" + format;
}

std::string VideoFeed(const std::string& text, const queries::Found<queries::Video>& found,
                      std::int64_t startIndex, std::int64_t perPage,
                      const std::string& serviceAddress) {
    std::string out = kDeclaration;
    out += "<feed xmlns=\"http://www.w3.org/2005/Atom\" "
           "xmlns:openSearch=\"" +
           std::string(kPagingNamespace) +
           "\" "
           "xmlns:media=\"http://search.yahoo.com/mrss/\" "
           "xmlns:yt=\"http://gdata.youtube.com/schemas/2007\">\n";
    AppendElement(out, "id", serviceAddress + "/api/video/");
    out += "<title type=\"text\">";
    AppendEscaped(out, "Videos matching: " + text);
    out += "</title>\n";
    AppendElement(out, "openSearch:totalResults", Number(found.total));
    AppendElement(out, "openSearch:startIndex", Number(startIndex));
    AppendElement(out, "openSearch:itemsPerPage", Number(perPage));
    out += '\n';
    // Entries come last: the reader takes every node after the first entry as one.
    for (const queries::Video& video : found.rows) {
        const std::string media = MediaAddress(serviceAddress, video);
        out += "<entry>";
        AppendElement(out, "id", media);
        out += "<title type=\"text\">";
        AppendEscaped(out, video.title);
        out += "</title><link rel=\"alternate\"";
        AppendAttribute(out, "type", "video/" + video.extension);
        AppendAttribute(out, "href", media);
        out += "/>";
        if (!video.artist.empty()) {
            out += "<author>";
            AppendElement(out, "name", video.artist);
            out += "</author>";
        }
        out += "<media:group><media:title type=\"plain\">";
        AppendEscaped(out, video.title);
        out += "</media:title><media:content";
        AppendAttribute(out, "url", StreamAddress(serviceAddress, video, "5"));
        out += " type=\"application/x-shockwave-flash\" medium=\"video\" isDefault=\"true\" "
               "expression=\"full\"";
        AppendAttribute(out, "duration", Number(video.seconds));
        out += " yt:format=\"5\"/><media:content";
        AppendAttribute(out, "url", StreamAddress(serviceAddress, video, "1"));
        out += " type=\"video/3gpp\" medium=\"video\" expression=\"full\"";
        AppendAttribute(out, "duration", Number(video.seconds));
        out += " yt:format=\"1\"/></media:group></entry>\n";
    }
    out += "</feed>\n";
    return out;
}

std::string Failure(int code, const std::string& message) {
    std::string out = kDeclaration;
    out += "<lfm status=\"failed\"><error";
    AppendAttribute(out, "code", Number(code));
    out += '>';
    AppendEscaped(out, message);
    out += "</error></lfm>\n";
    return out;
}

} // namespace answers
