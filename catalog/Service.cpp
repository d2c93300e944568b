#include "catalog/Service.h"

#include "catalog/Answers.h"
#include "catalog/Queries.h"
#include "catalog/QueryString.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::int64_t kMaxMusicLimit = 1000;
constexpr std::int64_t kMaxVideoResults = 50;
constexpr long long kMaxNumber = 1000000000;

// Error codes of the public music API.
constexpr int kInvalidMethod = 3;
constexpr int kInvalidParameters = 6;
constexpr int kOperationFailed = 8;

Reply refuse(int code, const std::string& message) {
    return Reply{400, "text/xml; charset=utf-8", answers::failure(code, message)};
}

Reply ok(std::string body) {
    return Reply{200, "text/xml; charset=utf-8", std::move(body)};
}

} // namespace

Reply Service::music(std::string_view rawQuery) {
    if (rawQuery.size() > kMaxQueryLength)
        return refuse(kInvalidParameters, "Query too long");
    const auto query = QueryString::parse(rawQuery, {"method", "limit", "page", "track", "artist",
                                                     "tag", "api_key", "format", "autocorrect"});
    if (!query)
        return refuse(kInvalidParameters, "Malformed query");
    const auto limit = query->number("limit", 100, 1, kMaxNumber);
    const auto page = query->number("page", 1, 0, kMaxNumber);
    if (!limit || !page)
        return refuse(kInvalidParameters, "Invalid page or limit");
    answers::Paging paging{std::max<std::int64_t>(*page, 1),
                           std::min<std::int64_t>(*limit, kMaxMusicLimit)};
    const queries::Window window{paging.perPage, (paging.page - 1) * paging.perPage};

    // Method names compare without regard to case, as the public API's do.
    std::string method = query->get("method");
    std::transform(method.begin(), method.end(), method.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::uint64_t generation = pool_.generation();
    try {
        ConnectionPool::Lease db = pool_.borrow();
        if (method == "track.search") {
            const std::string text = query->get("track");
            return ok(answers::trackSearch(text, queries::searchTracks(*db, text, window), paging));
        }
        if (method == "track.getsimilar") {
            const std::string artist = query->get("artist");
            const std::string track = query->get("track");
            return ok(answers::similarTracks(artist, track,
                                             queries::similarTracks(*db, artist, track, window)));
        }
        if (method == "tag.gettopartists") {
            const std::string tag = query->get("tag");
            return ok(answers::topArtists(tag, queries::topArtists(*db, tag, window), paging));
        }
        if (method == "artist.getsimilar") {
            const std::string artist = query->get("artist");
            return ok(
                answers::similarArtists(artist, queries::similarArtists(*db, artist, window)));
        }
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        if (error.damaged())
            pool_.reportDamage(generation);
        return Reply{500, "text/xml; charset=utf-8",
                     answers::failure(kOperationFailed, "Operation failed")};
    }
    return refuse(kInvalidMethod, "Invalid Method - No method with that name in this package");
}

Reply Service::video(std::string_view rawQuery, const std::string& serviceAddress) {
    if (rawQuery.size() > kMaxQueryLength)
        return refuse(kInvalidParameters, "Query too long");
    const auto query =
        QueryString::parse(rawQuery, {"vq", "q", "max-results", "start-index", "v", "alt"});
    if (!query)
        return refuse(kInvalidParameters, "Malformed query");
    const auto perPage = query->number("max-results", 25, 1, kMaxNumber);
    const auto start = query->number("start-index", 1, 1, kMaxNumber);
    if (!perPage || !start)
        return refuse(kInvalidParameters, "Invalid start-index or max-results");
    const std::int64_t count = std::min<std::int64_t>(*perPage, kMaxVideoResults);
    const std::string text = query->has("vq") ? query->get("vq") : query->get("q");
    const std::uint64_t generation = pool_.generation();
    try {
        ConnectionPool::Lease db = pool_.borrow();
        const auto found = queries::searchVideos(*db, text, {count, *start - 1});
        Reply reply = ok(answers::videoFeed(text, found, *start, count, serviceAddress));
        reply.contentType = "application/atom+xml; charset=utf-8";
        return reply;
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        if (error.damaged())
            pool_.reportDamage(generation);
        return Reply{500, "text/xml; charset=utf-8",
                     answers::failure(kOperationFailed, "Operation failed")};
    }
}
