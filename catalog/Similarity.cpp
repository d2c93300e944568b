#include "catalog/Similarity.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace similarity {

namespace {

struct TrackRow {
    std::int64_t id = 0;
    std::string sortKey; // folded artist, NUL, folded title: the answers' order
    int artist = 0;      // index into the artists
    std::vector<int> genres;
    std::int64_t decade = -1; // none when the year is unknown
};

struct ArtistRow {
    std::string key;
    std::string name;
    std::set<int> genres;
    std::set<std::int64_t> decades;
};

// Tracks by the answers' order (folded artist, folded title, then id).
bool Before(const TrackRow& a, const TrackRow& b) {
    return a.sortKey != b.sortKey ? a.sortKey < b.sortKey : a.id < b.id;
}

struct Catalogue {
    std::vector<TrackRow> tracks; // sorted by Before
    std::vector<ArtistRow> artists;
    std::vector<std::string> genreNames;
    std::vector<std::vector<int>> tracksOfGenre; // indices into tracks, in order
    std::map<std::int64_t, std::vector<int>> tracksOfDecade;
};

Catalogue Load(Database& db) {
    Catalogue c;
    std::unordered_map<std::string, int> artistIndex;
    std::unordered_map<std::int64_t, size_t> trackIndex;
    Statement& all = db.Prepare("SELECT id, artist, title, year FROM tracks ORDER BY id");
    while (all.Step()) {
        TrackRow row;
        row.id = all.Int(0);
        const std::string artist = all.Text(1);
        const std::string key = Fold(artist);
        row.sortKey = key + '\0' + Fold(all.Text(2));
        const std::int64_t year = all.Int(3);
        row.decade = year > 0 ? year / 10 : -1;
        const auto [found, added] = artistIndex.emplace(key, static_cast<int>(c.artists.size()));
        if (added)
            c.artists.push_back({key, artist, {}, {}});
        row.artist = found->second;
        if (row.decade >= 0)
            c.artists[row.artist].decades.insert(row.decade);
        trackIndex.emplace(row.id, c.tracks.size());
        c.tracks.push_back(std::move(row));
    }
    std::unordered_map<std::string, int> genreIndex;
    Statement& genres = db.Prepare("SELECT track_id, genre FROM track_genres");
    while (genres.Step()) {
        const auto track = trackIndex.find(genres.Int(0));
        if (track == trackIndex.end())
            continue;
        const auto [found, added] =
            genreIndex.emplace(genres.Text(1), static_cast<int>(c.genreNames.size()));
        if (added)
            c.genreNames.push_back(found->first);
        TrackRow& row = c.tracks[track->second];
        row.genres.push_back(found->second);
        c.artists[row.artist].genres.insert(found->second);
    }
    std::sort(c.tracks.begin(), c.tracks.end(), Before);
    c.tracksOfGenre.resize(c.genreNames.size());
    for (int i = 0; i < static_cast<int>(c.tracks.size()); ++i) {
        for (const int genre : c.tracks[i].genres)
            c.tracksOfGenre[genre].push_back(i);
        if (c.tracks[i].decade >= 0)
            c.tracksOfDecade[c.tracks[i].decade].push_back(i);
    }
    return c;
}

// Indices of every track in any of the lists, in order, each with the number
// of lists it is in (the lists are in order themselves).
std::vector<std::pair<int, int>> Merge(const std::vector<const std::vector<int>*>& lists) {
    std::vector<std::pair<int, int>> merged;
    std::vector<size_t> at(lists.size(), 0);
    for (;;) {
        int next = -1;
        for (size_t l = 0; l < lists.size(); ++l)
            if (at[l] < lists[l]->size() && (next < 0 || (*lists[l])[at[l]] < next))
                next = (*lists[l])[at[l]];
        if (next < 0)
            return merged;
        int count = 0;
        for (size_t l = 0; l < lists.size(); ++l)
            if (at[l] < lists[l]->size() && (*lists[l])[at[l]] == next) {
                ++at[l];
                ++count;
            }
        merged.emplace_back(next, count);
    }
}

struct Profile {
    int artist = 0;
    std::set<int> genres;
    std::set<std::int64_t> decades;
};

// The closest tracks of other artists for a seed profile: more shared genres
// first (score 2000 + n), then tracks of its decades (1000), each tier in the
// answers' order.
std::vector<std::pair<std::int64_t, std::int64_t>> SimilarTracks(const Catalogue& c,
                                                                 const Profile& p) {
    std::vector<const std::vector<int>*> lists;
    for (const int genre : p.genres)
        lists.push_back(&c.tracksOfGenre[genre]);
    std::vector<std::vector<int>> byShared(p.genres.size() + 1);
    for (const auto& [track, shared] : Merge(lists))
        if (c.tracks[track].artist != p.artist)
            byShared[shared].push_back(track);
    std::vector<std::pair<std::int64_t, std::int64_t>> list;
    for (size_t shared = p.genres.size(); shared > 0; --shared)
        for (const int track : byShared[shared]) {
            if (list.size() == static_cast<size_t>(kListLength))
                return list;
            list.emplace_back(c.tracks[track].id, 2000 + static_cast<std::int64_t>(shared));
        }
    lists.clear();
    for (const std::int64_t decade : p.decades)
        if (const auto found = c.tracksOfDecade.find(decade); found != c.tracksOfDecade.end())
            lists.push_back(&found->second);
    for (const auto& [track, ignored] : Merge(lists)) {
        if (list.size() == static_cast<size_t>(kListLength))
            break;
        const TrackRow& row = c.tracks[track];
        const bool sharesGenre = std::any_of(row.genres.begin(), row.genres.end(),
                                             [&](int genre) { return p.genres.count(genre); });
        if (row.artist != p.artist && !sharesGenre)
            list.emplace_back(row.id, 1000);
    }
    return list;
}

std::string KeyOf(const Catalogue& c, const Profile& p) {
    std::vector<std::string> genres;
    for (const int genre : p.genres)
        genres.push_back(c.genreNames[genre]);
    return ProfileKey(c.artists[p.artist].key, genres, {p.decades.begin(), p.decades.end()});
}

void StoreSimilarTracks(Database& db, const Catalogue& c) {
    std::map<std::string, Profile> profiles;
    for (const TrackRow& row : c.tracks) {
        Profile track{row.artist, {row.genres.begin(), row.genres.end()}, {}};
        if (row.decade >= 0)
            track.decades.insert(row.decade);
        profiles.emplace(KeyOf(c, track), track);
    }
    for (int a = 0; a < static_cast<int>(c.artists.size()); ++a) {
        const Profile artist{a, c.artists[a].genres, c.artists[a].decades};
        profiles.emplace(KeyOf(c, artist), artist);
    }
    Statement& profile = db.Prepare("INSERT INTO track_profiles(key, id) VALUES (?, ?)");
    Statement& entry =
        db.Prepare("INSERT INTO similar_tracks(profile, rank, track_id, score) VALUES (?,?,?,?)");
    std::int64_t id = 0;
    for (const auto& [key, p] : profiles) {
        profile.Reset().Bind(1, key).Bind(2, ++id).Run();
        std::int64_t rank = 0;
        for (const auto& [track, score] : SimilarTracks(c, p))
            entry.Reset().Bind(1, id).Bind(2, rank++).Bind(3, track).Bind(4, score).Run();
    }
}

// Other artists sharing the artist's genres (more first), then its decades.
void StoreSimilarArtists(Database& db, const Catalogue& c, const std::vector<int>& artistIds) {
    std::vector<std::vector<int>> artistsOfGenre(c.genreNames.size());
    std::map<std::int64_t, std::vector<int>> artistsOfDecade;
    for (int a = 0; a < static_cast<int>(c.artists.size()); ++a) {
        for (const int genre : c.artists[a].genres)
            artistsOfGenre[genre].push_back(a);
        for (const std::int64_t decade : c.artists[a].decades)
            artistsOfDecade[decade].push_back(a);
    }
    Statement& entry = db.Prepare("INSERT INTO similar_artists(artist, rank, other, genres, "
                                  "decades) VALUES (?,?,?,?,?)");
    for (int a = 0; a < static_cast<int>(c.artists.size()); ++a) {
        std::unordered_map<int, std::pair<std::int64_t, std::int64_t>> shared;
        for (const int genre : c.artists[a].genres)
            for (const int other : artistsOfGenre[genre])
                ++shared[other].first;
        for (const std::int64_t decade : c.artists[a].decades)
            for (const int other : artistsOfDecade[decade])
                ++shared[other].second;
        shared.erase(a);
        std::vector<std::pair<int, std::pair<std::int64_t, std::int64_t>>> ranked(shared.begin(),
                                                                                  shared.end());
        const auto closer = [&](const auto& x, const auto& y) {
            if (x.second.first != y.second.first)
                return x.second.first > y.second.first;
            if (x.second.second != y.second.second)
                return x.second.second > y.second.second;
            return c.artists[x.first].key < c.artists[y.first].key;
        };
        const size_t kept = std::min(ranked.size(), static_cast<size_t>(kListLength));
        std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                          ranked.end(), closer);
        for (size_t rank = 0; rank < kept; ++rank)
            entry.Reset()
                .Bind(1, std::int64_t{artistIds[a]})
                .Bind(2, static_cast<std::int64_t>(rank))
                .Bind(3, std::int64_t{artistIds[ranked[rank].first]})
                .Bind(4, ranked[rank].second.first)
                .Bind(5, ranked[rank].second.second)
                .Run();
    }
}

// Every artist of a genre or decade by its tracks there, for the paged answer.
void StoreTopArtists(Database& db, const Catalogue& c, const std::vector<int>& artistIds) {
    std::map<std::string, std::unordered_map<int, std::int64_t>> counts;
    for (const TrackRow& row : c.tracks) {
        for (const int genre : row.genres)
            ++counts["g:" + c.genreNames[genre]][row.artist];
        if (row.decade >= 0)
            ++counts["y:" + std::to_string(row.decade * 10)][row.artist];
    }
    Statement& entry =
        db.Prepare("INSERT INTO top_artists(tag, rank, artist, tracks) VALUES (?,?,?,?)");
    for (const auto& [tag, ofArtist] : counts) {
        std::vector<std::pair<int, std::int64_t>> ranked(ofArtist.begin(), ofArtist.end());
        std::sort(ranked.begin(), ranked.end(), [&](const auto& x, const auto& y) {
            return x.second != y.second ? x.second > y.second
                                        : c.artists[x.first].key < c.artists[y.first].key;
        });
        for (size_t rank = 0; rank < ranked.size(); ++rank)
            entry.Reset()
                .Bind(1, tag)
                .Bind(2, static_cast<std::int64_t>(rank))
                .Bind(3, std::int64_t{artistIds[ranked[rank].first]})
                .Bind(4, ranked[rank].second)
                .Run();
    }
}

} // namespace

std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& ch : folded)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return folded;
}

std::string ProfileKey(const std::string& artistKey, std::vector<std::string> genres,
                       std::vector<std::int64_t> decades) {
    std::sort(genres.begin(), genres.end());
    genres.erase(std::unique(genres.begin(), genres.end()), genres.end());
    std::sort(decades.begin(), decades.end());
    decades.erase(std::unique(decades.begin(), decades.end()), decades.end());
    std::string key = artistKey + '\x1f';
    for (const std::string& genre : genres)
        key += genre + '\x1e';
    key += '\x1f';
    for (const std::int64_t decade : decades)
        key += std::to_string(decade) + ',';
    return key;
}

void Invalidate(Database& db) {
    db.Exec("DELETE FROM similarity_ready");
}

bool Ready(Database& db) {
    Statement& ready = db.Prepare("SELECT 1 FROM similarity_ready");
    const bool found = ready.Step();
    ready.Reset();
    return found;
}

void Recompute(Database& db) {
    Transaction transaction(db);
    db.Exec("DELETE FROM similarity_ready; DELETE FROM artists; DELETE FROM track_profiles; "
            "DELETE FROM similar_tracks; DELETE FROM similar_artists; DELETE FROM top_artists;");
    const Catalogue c = Load(db);
    std::vector<int> artistIds;
    Statement& artist = db.Prepare("INSERT INTO artists(id, key, name) VALUES (?,?,?)");
    for (const ArtistRow& row : c.artists) {
        artistIds.push_back(static_cast<int>(artistIds.size()) + 1);
        artist.Reset().Bind(1, std::int64_t{artistIds.back()}).Bind(2, row.key).Bind(3, row.name);
        artist.Run();
    }
    StoreSimilarTracks(db, c);
    StoreSimilarArtists(db, c, artistIds);
    StoreTopArtists(db, c, artistIds);
    db.Exec("INSERT INTO similarity_ready VALUES (1)");
    transaction.Commit();
}

} // namespace similarity
