#include "search/SearchAddress.h"

#include "search/Base64.h"

std::string schemePrefix() {
    return trimRight(base64Decode("aHR0cDovLz=="));
}

namespace {
// The service reads its query as form data, where "+" stands for a blank: a
// plus of the user's text goes as its escape.
std::string plusEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        out += c == '+' ? std::string("%2B") : std::string(1, c);
    return out;
}
} // namespace

std::string searchAddress(const SearchRequest& given, int page, const std::string& host) {
    const SearchRequest request{given.method, plusEscaped(given.text), plusEscaped(given.artist),
                                plusEscaped(given.track)};
    const std::string base = schemePrefix() + host;
    const std::string pageText = std::to_string(page);
    const std::string& m = request.method;
    if (m == methods::kTrackGetSimilar)
        return base + "/api/music/?method=track.getSimilar&limit=100&artist=" + request.artist +
               "&track=" + request.track + "&page=" + pageText;
    if (m == methods::kTagGetTopArtists)
        return base + "/api/music/?method=tag.gettopartists&limit=100&tag=" + request.text +
               "&page=" + pageText;
    if (m == methods::kArtistGetSimilar)
        return base + "/api/music/?method=artist.getSimilar&limit=100&artist=" + request.artist +
               "&page=" + pageText;
    if (m == methods::kTrackSearch)
        return base + "/api/music/?method=track.search&limit=100&track=" + request.text +
               "&page=" + pageText;
    if (m == methods::kYoutubeSources)
        return base + "/api/video/?vq=" + request.text + "&max-results=50&start-index=" +
               std::to_string(static_cast<long long>(page) * 50 - 49);
    return {};
}

std::string escapeFragmentMarks(const std::string& address) {
    std::string out;
    out.reserve(address.size());
    for (char c : address)
        out += c == '#' ? std::string("%23") : std::string(1, c);
    return out;
}

std::string queryFilePath(const std::string& dataFolder, const std::string& method) {
    return dataFolder + "queries/" + method + ".xml";
}
