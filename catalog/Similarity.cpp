#include "catalog/Similarity.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>
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
bool before(const TrackRow& a, const TrackRow& b) {
    return a.sortKey != b.sortKey ? a.sortKey < b.sortKey : a.id < b.id;
}

struct Catalogue {
    std::vector<TrackRow> tracks; // sorted by Before
    std::vector<ArtistRow> artists;
    std::vector<std::string> genreNames;
    std::vector<std::vector<int>> tracksOfGenre; // indices into tracks, in order
    std::map<std::int64_t, std::vector<int>> tracksOfDecade;
    std::unordered_map<std::int64_t, int> indexOf; // track id -> index into tracks
    std::unordered_map<std::string, int> genreIndex;
    // The tracks by their set of genres: each set once, with its tracks in
    // order, and per track the index of its set.
    std::vector<std::pair<std::vector<int>, std::vector<int>>> genreSets;
    std::vector<int> setOf;
};

Catalogue load(Database& db) {
    Catalogue c;
    std::unordered_map<std::string, int> artistIndex;
    Statement& all = db.prepare("SELECT id, artist, title, year FROM tracks ORDER BY id");
    while (all.step()) {
        TrackRow row;
        row.id = all.integer(0);
        const std::string artist = all.text(1);
        std::string key = fold(artist);
        row.sortKey = key + '\0' + fold(all.text(2));
        const std::int64_t year = all.integer(3);
        row.decade = year > 0 ? year / 10 : -1;
        const auto [found, added] = artistIndex.emplace(key, static_cast<int>(c.artists.size()));
        if (added)
            c.artists.push_back({std::move(key), artist, {}, {}});
        row.artist = found->second;
        if (row.decade >= 0)
            c.artists[row.artist].decades.insert(row.decade);
        c.tracks.push_back(std::move(row));
    }
    // The genres come in the order of the tracks' ids, as the tracks do.
    std::unordered_map<std::string, int>& genreIndex = c.genreIndex;
    Statement& genres =
        db.prepare("SELECT track_id, genre FROM track_genres ORDER BY track_id, genre");
    auto track = c.tracks.begin();
    while (genres.step()) {
        const std::int64_t id = genres.integer(0);
        while (track != c.tracks.end() && track->id < id)
            ++track;
        if (track == c.tracks.end() || track->id != id)
            continue;
        const auto [found, added] =
            genreIndex.emplace(genres.text(1), static_cast<int>(c.genreNames.size()));
        if (added)
            c.genreNames.push_back(found->first);
        track->genres.push_back(found->second);
        c.artists[track->artist].genres.insert(found->second);
    }
    std::sort(c.tracks.begin(), c.tracks.end(), before);
    c.tracksOfGenre.resize(c.genreNames.size());
    std::map<std::vector<int>, int> setIndex;
    for (int i = 0; i < static_cast<int>(c.tracks.size()); ++i) {
        c.indexOf.emplace(c.tracks[i].id, i);
        std::vector<int> genres = c.tracks[i].genres;
        std::sort(genres.begin(), genres.end());
        const auto [set, added] = setIndex.emplace(genres, static_cast<int>(c.genreSets.size()));
        if (added)
            c.genreSets.emplace_back(std::move(genres), std::vector<int>{});
        c.genreSets[set->second].second.push_back(i);
        c.setOf.push_back(set->second);
        for (const int genre : c.tracks[i].genres)
            c.tracksOfGenre[genre].push_back(i);
        if (c.tracks[i].decade >= 0)
            c.tracksOfDecade[c.tracks[i].decade].push_back(i);
    }
    return c;
}

// The genres and decades a seed has: a track's own, or all of an artist's.
struct Profile {
    std::set<int> genres;
    std::set<std::int64_t> decades;
};

// Takes the tracks of these lists (each in order) in order, merged, while
// take(track) asks for more.
template <class Take> void inOrder(const std::vector<const std::vector<int>*>& lists, Take take) {
    // (track, list, place in the list), the smallest track first
    std::vector<std::tuple<int, size_t, size_t>> heads;
    for (size_t l = 0; l < lists.size(); ++l)
        if (!lists[l]->empty())
            heads.emplace_back(lists[l]->front(), l, 0);
    const auto later = [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); };
    std::make_heap(heads.begin(), heads.end(), later);
    while (!heads.empty()) {
        std::pop_heap(heads.begin(), heads.end(), later);
        auto& [track, l, at] = heads.back();
        if (!take(track))
            return;
        if (++at < lists[l]->size()) {
            track = (*lists[l])[at];
            std::push_heap(heads.begin(), heads.end(), later);
        } else {
            heads.pop_back();
        }
    }
}

// The closest tracks for a profile, of every artist (the answer passes over
// the seed's own): more shared genres first (score 2000 + n), then tracks of
// its decades sharing none (1000), each tier in the answers' order; at most
// depth of them. Tracks with the same genres share a tier, so each tier is a
// merge of the lists of the genre sets that share that many.
std::vector<std::pair<std::int64_t, std::int64_t>> similarTracks(const Catalogue& c,
                                                                 const Profile& p, size_t depth) {
    std::vector<size_t> shared(c.genreSets.size(), 0); // per genre set
    size_t most = 0;
    for (size_t set = 0; set < c.genreSets.size(); ++set) {
        for (const int genre : c.genreSets[set].first)
            shared[set] += p.genres.count(genre);
        most = std::max(most, shared[set]);
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> list;
    for (size_t n = most; n > 0 && list.size() < depth; --n) {
        std::vector<const std::vector<int>*> tier;
        for (size_t set = 0; set < c.genreSets.size(); ++set)
            if (shared[set] == n)
                tier.push_back(&c.genreSets[set].second);
        inOrder(tier, [&](int track) {
            list.emplace_back(c.tracks[track].id, 2000 + static_cast<std::int64_t>(n));
            return list.size() < depth;
        });
    }
    if (list.size() == depth)
        return list;
    std::vector<const std::vector<int>*> decades;
    for (const std::int64_t decade : p.decades)
        if (const auto found = c.tracksOfDecade.find(decade); found != c.tracksOfDecade.end())
            decades.push_back(&found->second);
    inOrder(decades, [&](int track) {
        if (shared[static_cast<size_t>(c.setOf[track])] == 0)
            list.emplace_back(c.tracks[track].id, 1000);
        return list.size() < depth;
    });
    return list;
}

std::string keyOf(const Catalogue& c, const Profile& p) {
    std::vector<std::string> genres;
    for (const int genre : p.genres)
        genres.push_back(c.genreNames[genre]);
    return profileKey(genres, {p.decades.begin(), p.decades.end()});
}

// Every seed profile of the catalogue: each track's own, and each artist's
// (all its genres and decades), by key. Many seeds share one, so the keys
// are made once for each distinct profile.
std::map<std::string, Profile> profiles(const Catalogue& c) {
    std::set<std::pair<std::vector<int>, std::int64_t>> ofTracks;
    for (const TrackRow& row : c.tracks) {
        std::vector<int> genres = row.genres;
        std::sort(genres.begin(), genres.end());
        ofTracks.emplace(std::move(genres), row.decade);
    }
    std::map<std::string, Profile> profiles;
    for (const auto& [genres, decade] : ofTracks) {
        Profile track{{genres.begin(), genres.end()}, {}};
        if (decade >= 0)
            track.decades.insert(decade);
        profiles.emplace(keyOf(c, track), track);
    }
    for (const ArtistRow& artist : c.artists)
        profiles.emplace(keyOf(c, Profile{artist.genres, artist.decades}),
                         Profile{artist.genres, artist.decades});
    return profiles;
}

// How deep the track lists go: deep enough that the seed artist's own tracks,
// which the answer passes over, still leave a whole list, up to a point (an
// artist with more tracks than that is answered by the plain SQL).
size_t depthFor(const Catalogue& c) {
    std::vector<size_t> tracksOf(c.artists.size(), 0);
    size_t most = 0;
    for (const TrackRow& row : c.tracks)
        most = std::max(most, ++tracksOf[row.artist]);
    return static_cast<size_t>(kListLength) + std::min<size_t>(most, kListLength);
}

void writeTrackList(Database& db, const Catalogue& c, std::int64_t id, const Profile& p,
                    size_t depth) {
    db.prepare("DELETE FROM similar_tracks WHERE profile = ?").bind(1, id).run();
    Statement& entry =
        db.prepare("INSERT INTO similar_tracks(profile, rank, track_id, score) VALUES (?,?,?,?)");
    std::int64_t rank = 0;
    for (const auto& [track, score] : similarTracks(c, p, depth))
        entry.reset().bind(1, id).bind(2, rank++).bind(3, track).bind(4, score).run();
}

// Who shares a genre or a decade with whom, for the similar-artist lists.
struct ArtistIndex {
    std::vector<std::vector<int>> ofGenre;
    std::map<std::int64_t, std::vector<int>> ofDecade;
    // Per artist, while one list is worked out: genres and decades shared.
    mutable std::vector<std::pair<std::int64_t, std::int64_t>> shared;
    std::vector<int> keyRank; // per artist, its place in the order of the keys

    explicit ArtistIndex(const Catalogue& c)
        : ofGenre(c.genreNames.size())
        , shared(c.artists.size())
        , keyRank(c.artists.size()) {
        std::vector<int> byKey(c.artists.size());
        for (int a = 0; a < static_cast<int>(c.artists.size()); ++a)
            byKey[static_cast<size_t>(a)] = a;
        std::sort(byKey.begin(), byKey.end(),
                  [&](int x, int y) { return c.artists[x].key < c.artists[y].key; });
        for (int rank = 0; rank < static_cast<int>(byKey.size()); ++rank)
            keyRank[static_cast<size_t>(byKey[static_cast<size_t>(rank)])] = rank;
        for (int a = 0; a < static_cast<int>(c.artists.size()); ++a) {
            for (const int genre : c.artists[a].genres)
                ofGenre[genre].push_back(a);
            for (const std::int64_t decade : c.artists[a].decades)
                ofDecade[decade].push_back(a);
        }
    }
};

// Other artists sharing the artist's genres (more first), then its decades.
void writeArtistList(Database& db, const Catalogue& c, const ArtistIndex& index,
                     const std::vector<std::int64_t>& artistIds, int a) {
    db.prepare("DELETE FROM similar_artists WHERE artist = ?").bind(1, artistIds[a]).run();
    std::vector<int> touched;
    const auto count = [&](const std::vector<int>& others, bool genre) {
        for (const int other : others) {
            auto& [genres, decades] = index.shared[static_cast<size_t>(other)];
            if (genres == 0 && decades == 0)
                touched.push_back(other);
            ++(genre ? genres : decades);
        }
    };
    for (const int genre : c.artists[a].genres)
        count(index.ofGenre[genre], true);
    for (const std::int64_t decade : c.artists[a].decades)
        count(index.ofDecade.at(decade), false);
    std::vector<std::pair<int, std::pair<std::int64_t, std::int64_t>>> ranked;
    ranked.reserve(touched.size());
    for (const int other : touched) {
        if (other != a)
            ranked.emplace_back(other, index.shared[static_cast<size_t>(other)]);
        index.shared[static_cast<size_t>(other)] = {0, 0};
    }
    const auto closer = [&](const auto& x, const auto& y) {
        if (x.second.first != y.second.first)
            return x.second.first > y.second.first;
        if (x.second.second != y.second.second)
            return x.second.second > y.second.second;
        return index.keyRank[static_cast<size_t>(x.first)] <
               index.keyRank[static_cast<size_t>(y.first)];
    };
    const size_t kept = std::min(ranked.size(), static_cast<size_t>(kListLength));
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                      ranked.end(), closer);
    Statement& entry = db.prepare("INSERT INTO similar_artists(artist, rank, other, genres, "
                                  "decades) VALUES (?,?,?,?,?)");
    for (size_t rank = 0; rank < kept; ++rank)
        entry.reset()
            .bind(1, artistIds[a])
            .bind(2, static_cast<std::int64_t>(rank))
            .bind(3, artistIds[ranked[rank].first])
            .bind(4, ranked[rank].second.first)
            .bind(5, ranked[rank].second.second)
            .run();
}

std::string genreTag(const std::string& genre) {
    return "g:" + genre;
}

std::string decadeTag(std::int64_t decade) {
    return "y:" + std::to_string(decade * 10);
}

// Every artist of a genre or decade tag by its tracks there, for the paged answer.
void writeTopArtists(Database& db, const Catalogue& c, const std::vector<std::int64_t>& artistIds,
                     const std::string& tag, const std::vector<int>& tracks) {
    db.prepare("DELETE FROM top_artists WHERE tag = ?").bind(1, tag).run();
    std::unordered_map<int, std::int64_t> ofArtist;
    for (const int track : tracks)
        ++ofArtist[c.tracks[track].artist];
    std::vector<std::pair<int, std::int64_t>> ranked(ofArtist.begin(), ofArtist.end());
    std::sort(ranked.begin(), ranked.end(), [&](const auto& x, const auto& y) {
        return x.second != y.second ? x.second > y.second
                                    : c.artists[x.first].key < c.artists[y.first].key;
    });
    Statement& entry =
        db.prepare("INSERT INTO top_artists(tag, rank, artist, tracks) VALUES (?,?,?,?)");
    for (size_t rank = 0; rank < ranked.size(); ++rank)
        entry.reset()
            .bind(1, tag)
            .bind(2, static_cast<std::int64_t>(rank))
            .bind(3, artistIds[ranked[rank].first])
            .bind(4, ranked[rank].second)
            .run();
}

// The tracks of a tag ("g:rock", "y:1980"), in order; nothing when none has it.
const std::vector<int>& tracksOfTag(const Catalogue& c, const std::string& tag) {
    static const std::vector<int> kNone;
    if (tag.starts_with("g:")) {
        const auto genre = c.genreIndex.find(tag.substr(2));
        return genre == c.genreIndex.end() ? kNone : c.tracksOfGenre[genre->second];
    }
    const auto decade = c.tracksOfDecade.find(std::stoll(tag.substr(2)) / 10);
    return decade == c.tracksOfDecade.end() ? kNone : decade->second;
}

// Makes every list from nothing (inside the caller's transaction).
void makeAll(Database& db) {
    db.execute("DELETE FROM similarity_ready; DELETE FROM artists; DELETE FROM track_profiles; "
               "DELETE FROM similar_tracks; DELETE FROM similar_artists; DELETE FROM top_artists;");
    const Catalogue c = load(db);
    std::vector<std::int64_t> artistIds;
    Statement& artist = db.prepare("INSERT INTO artists(id, key, name) VALUES (?,?,?)");
    for (const ArtistRow& row : c.artists) {
        artistIds.push_back(static_cast<std::int64_t>(artistIds.size()) + 1);
        artist.reset().bind(1, artistIds.back()).bind(2, row.key).bind(3, row.name).run();
    }
    Statement& profile = db.prepare("INSERT INTO track_profiles(key, id) VALUES (?, ?)");
    const size_t depth = depthFor(c);
    std::int64_t id = 0;
    for (const auto& [key, p] : profiles(c)) {
        profile.reset().bind(1, key).bind(2, ++id).run();
        writeTrackList(db, c, id, p, depth);
    }
    const ArtistIndex index(c);
    for (int a = 0; a < static_cast<int>(c.artists.size()); ++a)
        writeArtistList(db, c, index, artistIds, a);
    for (size_t genre = 0; genre < c.genreNames.size(); ++genre)
        writeTopArtists(db, c, artistIds, genreTag(c.genreNames[genre]), c.tracksOfGenre[genre]);
    for (const auto& [decade, tracks] : c.tracksOfDecade)
        writeTopArtists(db, c, artistIds, decadeTag(decade), tracks);
    db.prepare("INSERT INTO similarity_ready(depth) VALUES (?)")
        .bind(1, static_cast<std::int64_t>(depth))
        .run();
}

TrackState stateOf(const Catalogue& c, const TrackRow& row) {
    TrackState state{row.id, c.artists[row.artist].key, row.sortKey, {}, row.decade};
    for (const int genre : row.genres)
        state.genres.push_back(c.genreNames[genre]);
    return state;
}

// Where a track version would stand in a profile's list: its score (0 when it
// has no place there at all), then the answers' order.
struct Standing {
    std::int64_t score = 0;
    const std::string* sortKey = nullptr;
    std::int64_t id = 0;
};

Standing standingIn(const Catalogue& c, const Profile& p, const TrackState& track) {
    std::int64_t shared = 0;
    for (const std::string& genre : track.genres)
        if (const auto found = c.genreIndex.find(genre);
            found != c.genreIndex.end() && p.genres.count(found->second))
            ++shared;
    if (shared > 0)
        return {2000 + shared, &track.sortKey, track.id};
    if (track.decade >= 0 && p.decades.count(track.decade))
        return {1000, &track.sortKey, track.id};
    return {};
}

bool notAfter(const Standing& a, const Standing& b) {
    if (a.score != b.score)
        return a.score > b.score;
    if (*a.sortKey != *b.sortKey)
        return *a.sortKey < *b.sortKey;
    return a.id <= b.id;
}

// The artists' ids in the table, new ones added and names kept current; the
// rows of artists that are gone are dropped with their lists.
std::vector<std::int64_t> syncArtists(Database& db, const Catalogue& c) {
    std::unordered_map<std::string, std::pair<std::int64_t, std::string>> stored;
    std::int64_t last = 0;
    Statement& all = db.prepare("SELECT key, id, name FROM artists");
    while (all.step()) {
        stored.emplace(all.text(0), std::pair{all.integer(1), all.text(2)});
        last = std::max(last, all.integer(1));
    }
    std::vector<std::int64_t> ids;
    for (const ArtistRow& row : c.artists) {
        const auto found = stored.find(row.key);
        if (found == stored.end()) {
            ids.push_back(++last);
            db.prepare("INSERT INTO artists(id, key, name) VALUES (?,?,?)")
                .bind(1, last)
                .bind(2, row.key)
                .bind(3, row.name)
                .run();
            continue;
        }
        ids.push_back(found->second.first);
        if (found->second.second != row.name)
            db.prepare("UPDATE artists SET name = ? WHERE id = ?")
                .bind(1, row.name)
                .bind(2, found->second.first)
                .run();
        stored.erase(found);
    }
    for (const auto& [key, entry] : stored) {
        db.prepare("DELETE FROM artists WHERE id = ?").bind(1, entry.first).run();
        db.prepare("DELETE FROM similar_artists WHERE artist = ?").bind(1, entry.first).run();
    }
    return ids;
}

// The track lists: profiles no one has any more are dropped, new ones made,
// and of the others only those where a changed track stood or now stands.
void updateTrackLists(Database& db, const Catalogue& c, const std::vector<TrackState>& versions,
                      const std::set<std::int64_t>& changed, size_t depth) {
    std::set<int> genres;
    std::set<std::int64_t> decades;
    for (const TrackState& v : versions) {
        for (const std::string& genre : v.genres)
            if (const auto found = c.genreIndex.find(genre); found != c.genreIndex.end())
                genres.insert(found->second);
        if (v.decade >= 0)
            decades.insert(v.decade);
    }
    const std::map<std::string, Profile> profiles = similarity::profiles(c);
    std::int64_t last = 0;
    std::vector<std::pair<std::int64_t, const Profile*>> kept;
    std::vector<std::int64_t> gone;
    std::set<std::string_view> stored;
    Statement& all = db.prepare("SELECT key, id FROM track_profiles");
    while (all.step()) {
        const std::int64_t id = all.integer(1);
        last = std::max(last, id);
        const auto found = profiles.find(all.text(0));
        if (found == profiles.end()) {
            gone.push_back(id);
            continue;
        }
        stored.insert(found->first);
        const Profile& p = found->second;
        const bool touches =
            std::any_of(p.genres.begin(), p.genres.end(), [&](int g) { return genres.count(g); }) ||
            std::any_of(p.decades.begin(), p.decades.end(),
                        [&](std::int64_t d) { return decades.count(d); });
        if (touches)
            kept.emplace_back(id, &p);
    }
    for (const std::int64_t id : gone) {
        db.prepare("DELETE FROM track_profiles WHERE id = ?").bind(1, id).run();
        db.prepare("DELETE FROM similar_tracks WHERE profile = ?").bind(1, id).run();
    }
    for (const auto& [key, p] : profiles) {
        if (stored.count(key))
            continue;
        db.prepare("INSERT INTO track_profiles(key, id) VALUES (?, ?)")
            .bind(1, key)
            .bind(2, ++last)
            .run();
        writeTrackList(db, c, last, p, depth);
    }
    // A list changes only when a changed track, as it was or as it is, stands
    // before the list's last entry or the list is not full.
    Statement& end = db.prepare(
        "SELECT rank, track_id, score FROM similar_tracks WHERE profile = ? ORDER BY rank DESC "
        "LIMIT 1");
    for (const auto& [id, p] : kept) {
        // A named reference: lambdas cannot capture a structured binding on
        // every compiler we build with.
        const auto& profile = *p;
        end.reset().bind(1, id);
        const bool full = end.step() && end.integer(0) + 1 >= static_cast<std::int64_t>(depth);
        const std::int64_t endTrack = full ? end.integer(1) : 0;
        const std::int64_t endScore = full ? end.integer(2) : 0;
        end.reset();
        const auto boundaryTrack = c.indexOf.find(endTrack);
        bool affected = true;
        if (!full) {
            affected = std::any_of(versions.begin(), versions.end(), [&](const TrackState& v) {
                return standingIn(c, profile, v).score > 0;
            });
        } else if (!changed.count(endTrack) && boundaryTrack != c.indexOf.end()) {
            const Standing boundary{endScore, &c.tracks[boundaryTrack->second].sortKey, endTrack};
            affected = std::any_of(versions.begin(), versions.end(), [&](const TrackState& v) {
                const Standing s = standingIn(c, profile, v);
                return s.score > 0 && notAfter(s, boundary);
            });
        }
        if (affected)
            writeTrackList(db, c, id, profile, depth);
    }
}

// The genres and decades of an artist's tracks, with the changed tracks as
// they are (after) or as they were (before).
std::pair<std::set<std::string>, std::set<std::int64_t>>
artistSets(const Catalogue& c, const std::vector<int>& tracks,
           const std::set<std::int64_t>& changed, const std::vector<TrackState>& before) {
    std::pair<std::set<std::string>, std::set<std::int64_t>> sets;
    for (const int track : tracks) {
        const TrackRow& row = c.tracks[track];
        if (changed.count(row.id))
            continue;
        for (const int genre : row.genres)
            sets.first.insert(c.genreNames[genre]);
        if (row.decade >= 0)
            sets.second.insert(row.decade);
    }
    for (const TrackState& v : before) {
        sets.first.insert(v.genres.begin(), v.genres.end());
        if (v.decade >= 0)
            sets.second.insert(v.decade);
    }
    return sets;
}

} // namespace

std::string fold(std::string_view text) {
    std::string folded(text);
    for (char& ch : folded)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return folded;
}

std::string profileKey(std::vector<std::string> genres, std::vector<std::int64_t> decades) {
    std::sort(genres.begin(), genres.end());
    genres.erase(std::unique(genres.begin(), genres.end()), genres.end());
    std::sort(decades.begin(), decades.end());
    decades.erase(std::unique(decades.begin(), decades.end()), decades.end());
    std::string key;
    for (const std::string& genre : genres)
        key += genre + '\x1e';
    key += '\x1f';
    for (const std::int64_t decade : decades)
        key += std::to_string(decade) + ',';
    return key;
}

void invalidate(Database& db) {
    db.execute("DELETE FROM similarity_ready");
}

bool ready(Database& db) {
    return depth(db) > 0;
}

std::int64_t depth(Database& db) {
    Statement& ready = db.prepare("SELECT depth FROM similarity_ready");
    const std::int64_t depth = ready.step() ? ready.integer(0) : 0;
    ready.reset();
    return depth;
}

void recompute(Database& db) {
    Transaction transaction(db);
    makeAll(db);
    transaction.commit();
}

std::vector<TrackState> readStates(Database& db, const std::vector<std::int64_t>& ids) {
    std::vector<TrackState> states;
    Statement& track = db.prepare("SELECT artist, title, year FROM tracks WHERE id = ?");
    Statement& genres = db.prepare("SELECT genre FROM track_genres WHERE track_id = ?");
    for (const std::int64_t id : ids) {
        track.reset().bind(1, id);
        if (!track.step())
            continue;
        const std::string artistKey = fold(track.text(0));
        const std::int64_t year = track.integer(2);
        TrackState state{
            id, artistKey, artistKey + '\0' + fold(track.text(1)), {}, year > 0 ? year / 10 : -1};
        track.reset();
        genres.reset().bind(1, id);
        while (genres.step())
            state.genres.push_back(genres.text(0));
        states.push_back(std::move(state));
    }
    return states;
}

void update(Database& db, const std::vector<TrackState>& before,
            const std::vector<std::int64_t>& ids) {
    if (!ready(db)) {
        makeAll(db);
        return;
    }
    const Catalogue c = load(db);
    // Lists too shallow for the artist with the most tracks are all made again.
    const auto storedDepth = static_cast<size_t>(depth(db));
    if (depthFor(c) > storedDepth) {
        makeAll(db);
        return;
    }
    const std::set<std::int64_t> changed(ids.begin(), ids.end());
    // Every version of the changed tracks: as they were and as they are.
    std::vector<TrackState> versions = before;
    for (const std::int64_t id : ids)
        if (const auto found = c.indexOf.find(id); found != c.indexOf.end())
            versions.push_back(stateOf(c, c.tracks[found->second]));
    const std::vector<std::int64_t> artistIds = syncArtists(db, c);
    updateTrackLists(db, c, versions, changed, storedDepth);

    // An artist's list changes only with the genres or decades of some artist:
    // those whose sets changed, and every artist sharing one with them.
    std::unordered_map<std::string, int> artistIndex;
    std::vector<std::vector<int>> tracksOf(c.artists.size());
    for (int a = 0; a < static_cast<int>(c.artists.size()); ++a)
        artistIndex.emplace(c.artists[a].key, a);
    for (int i = 0; i < static_cast<int>(c.tracks.size()); ++i)
        tracksOf[c.tracks[i].artist].push_back(i);
    std::set<std::string> touchedGenres;
    std::set<std::int64_t> touchedDecades;
    std::set<int> lists; // artists whose own list is made again
    // The artists whose genres or decades changed, as they were and are.
    struct Moved {
        std::string key;
        std::optional<std::pair<std::set<int>, std::set<std::int64_t>>> was, is;
    };
    std::vector<Moved> moved;
    std::set<std::string> seen;
    const auto indices = [&](const std::set<std::string>& names) {
        std::set<int> genres;
        for (const std::string& name : names)
            if (const auto g = c.genreIndex.find(name); g != c.genreIndex.end())
                genres.insert(g->second);
        return genres;
    };
    for (const TrackState& v : versions) {
        if (!seen.insert(v.artistKey).second)
            continue;
        std::vector<TrackState> was;
        std::copy_if(before.begin(), before.end(), std::back_inserter(was),
                     [&](const TrackState& b) { return b.artistKey == v.artistKey; });
        const auto found = artistIndex.find(v.artistKey);
        const bool existsNow = found != artistIndex.end();
        const std::vector<int> none;
        const std::vector<int>& mine = existsNow ? tracksOf[found->second] : none;
        const bool existedBefore =
            !was.empty() || std::any_of(mine.begin(), mine.end(),
                                        [&](int t) { return !changed.count(c.tracks[t].id); });
        const auto old = artistSets(c, mine, changed, was);
        std::pair<std::set<std::string>, std::set<std::int64_t>> now;
        if (existsNow) {
            for (const int genre : c.artists[found->second].genres)
                now.first.insert(c.genreNames[genre]);
            now.second = c.artists[found->second].decades;
        }
        if (existedBefore == existsNow && old == now)
            continue;
        Moved m{v.artistKey, {}, {}};
        if (existedBefore)
            m.was.emplace(indices(old.first), old.second);
        if (existsNow) {
            m.is.emplace(c.artists[found->second].genres, now.second);
            lists.insert(found->second);
        }
        moved.push_back(std::move(m));
        touchedGenres.insert(old.first.begin(), old.first.end());
        touchedGenres.insert(now.first.begin(), now.first.end());
        touchedDecades.insert(old.second.begin(), old.second.end());
        touchedDecades.insert(now.second.begin(), now.second.end());
    }
    if (!moved.empty()) {
        const ArtistIndex index(c);
        std::set<int> candidates;
        for (const std::string& genre : touchedGenres)
            if (const auto g = c.genreIndex.find(genre); g != c.genreIndex.end())
                candidates.insert(index.ofGenre[g->second].begin(), index.ofGenre[g->second].end());
        for (const std::int64_t decade : touchedDecades)
            if (const auto d = index.ofDecade.find(decade); d != index.ofDecade.end())
                candidates.insert(d->second.begin(), d->second.end());
        std::unordered_map<std::int64_t, int> ofId;
        for (int a = 0; a < static_cast<int>(artistIds.size()); ++a)
            ofId.emplace(artistIds[static_cast<size_t>(a)], a);
        // Another artist's list changes only when a moved artist, as it was or
        // is, stands before its last entry, or the list is not full.
        Statement& end = db.prepare("SELECT rank, other, genres, decades FROM similar_artists "
                                    "WHERE artist = ? ORDER BY rank DESC LIMIT 1");
        for (const int b : candidates) {
            if (lists.count(b))
                continue;
            end.reset().bind(1, artistIds[static_cast<size_t>(b)]);
            const bool full = end.step() && end.integer(0) + 1 >= kListLength;
            const auto other = full ? ofId.find(end.integer(1)) : ofId.end();
            const std::int64_t endGenres = full ? end.integer(2) : 0;
            const std::int64_t endDecades = full ? end.integer(3) : 0;
            end.reset();
            const ArtistRow& mine = c.artists[static_cast<size_t>(b)];
            const auto standsBefore = [&](const Moved& m, const auto& sets) {
                std::int64_t genres = 0;
                std::int64_t decades = 0;
                for (const int g : sets.first)
                    genres += static_cast<std::int64_t>(mine.genres.count(g));
                for (const std::int64_t d : sets.second)
                    decades += static_cast<std::int64_t>(mine.decades.count(d));
                if (genres == 0 && decades == 0)
                    return false;
                if (genres != endGenres)
                    return genres > endGenres;
                if (decades != endDecades)
                    return decades > endDecades;
                return m.key <= c.artists[static_cast<size_t>(other->second)].key;
            };
            const bool boundaryMoved =
                full && (other == ofId.end() ||
                         std::any_of(moved.begin(), moved.end(), [&](const Moved& m) {
                             return m.key == c.artists[static_cast<size_t>(other->second)].key;
                         }));
            if (!full || boundaryMoved ||
                std::any_of(moved.begin(), moved.end(), [&](const Moved& m) {
                    return (m.was && standsBefore(m, *m.was)) || (m.is && standsBefore(m, *m.is));
                }))
                lists.insert(b);
        }
        for (const int a : lists)
            writeArtistList(db, c, index, artistIds, a);
    }

    // The top artists of every genre and decade a changed track had or has.
    std::set<std::string> tags;
    for (const TrackState& v : versions) {
        for (const std::string& genre : v.genres)
            tags.insert(genreTag(genre));
        if (v.decade >= 0)
            tags.insert(decadeTag(v.decade));
    }
    for (const std::string& tag : tags)
        writeTopArtists(db, c, artistIds, tag, tracksOfTag(c, tag));
}

} // namespace similarity
