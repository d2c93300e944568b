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

Reply Refuse(int code, const std::string& message) {
    return Reply{400, "text/xml; charset=utf-8", answers::Failure(code, message)};
}

Reply Ok(std::string body) {
    return Reply{200, "text/xml; charset=utf-8", std::move(body)};
}

} // namespace

Reply Service::Music(std::string_view rawQuery) {
    if (rawQuery.size() > kMaxQueryLength)
        return Refuse(kInvalidParameters, "Query too long");
    const auto query = QueryString::Parse(rawQuery, {"method", "limit", "page", "track", "artist",
                                                     "tag", "api_key", "format", "autocorrect"});
    if (!query)
        return Refuse(kInvalidParameters, "Malformed query");
    const auto limit = query->Number("limit", 100, 1, kMaxNumber);
    const auto page = query->Number("page", 1, 0, kMaxNumber);
    if (!limit || !page)
        return Refuse(kInvalidParameters, "Invalid page or limit");
    answers::Paging paging{std::max<std::int64_t>(*page, 1),
                           std::min<std::int64_t>(*limit, kMaxMusicLimit)};
    const queries::Window window{paging.perPage, (paging.page - 1) * paging.perPage};

    // Method names compare without regard to case, as the public API's do.
    std::string method = query->Get("method");
    std::transform(method.begin(), method.end(), method.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::uint64_t generation = pool_.Generation();
    try {
        ConnectionPool::Lease db = pool_.Borrow();
        if (method == "track.search") {
            const std::string text = query->Get("track");
            return Ok(answers::TrackSearch(text, queries::SearchTracks(*db, text, window), paging));
        }
        if (method == "track.getsimilar") {
            const std::string artist = query->Get("artist");
            const std::string track = query->Get("track");
            return Ok(answers::SimilarTracks(artist, track,
                                             queries::SimilarTracks(*db, artist, track, window)));
        }
        if (method == "tag.gettopartists") {
            const std::string tag = query->Get("tag");
            return Ok(answers::TopArtists(tag, queries::TopArtists(*db, tag, window), paging));
        }
        if (method == "artist.getsimilar") {
            const std::string artist = query->Get("artist");
            return Ok(
                answers::SimilarArtists(artist, queries::SimilarArtists(*db, artist, window)));
        }
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        if (error.Damaged())
            pool_.ReportDamage(generation);
        return Reply{500, "text/xml; charset=utf-8",
                     answers::Failure(kOperationFailed, "Operation failed")};
    }
    return Refuse(kInvalidMethod, "Invalid Method - No method with that name in this package");
}

Reply Service::Video(std::string_view rawQuery, const std::string& serviceAddress) {
    if (rawQuery.size() > kMaxQueryLength)
        return Refuse(kInvalidParameters, "Query too long");
    const auto query =
        QueryString::Parse(rawQuery, {"vq", "q", "max-results", "start-index", "v", "alt"});
    if (!query)
        return Refuse(kInvalidParameters, "Malformed query");
    const auto perPage = query->Number("max-results", 25, 1, kMaxNumber);
    const auto start = query->Number("start-index", 1, 1, kMaxNumber);
    if (!perPage || !start)
        return Refuse(kInvalidParameters, "Invalid start-index or max-results");
    const std::int64_t count = std::min<std::int64_t>(*perPage, kMaxVideoResults);
    const std::string text = query->Has("vq") ? query->Get("vq") : query->Get("q");
    const std::uint64_t generation = pool_.Generation();
    try {
        ConnectionPool::Lease db = pool_.Borrow();
        const auto found = queries::SearchVideos(*db, text, {count, *start - 1});
        Reply reply = Ok(answers::VideoFeed(text, found, *start, count, serviceAddress));
        reply.contentType = "application/atom+xml; charset=utf-8";
        return reply;
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        if (error.Damaged())
            pool_.ReportDamage(generation);
        return Reply{500, "text/xml; charset=utf-8",
                     answers::Failure(kOperationFailed, "Operation failed")};
    }
}
