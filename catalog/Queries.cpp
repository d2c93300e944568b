#include "catalog/Queries.h"

#include "catalog/Genres.h"
#include "catalog/Similarity.h"

#include <algorithm>

namespace queries {

// The page's matches come out of the index in its order (see Schema.h); only
// they are read.
const char* const kSearchTracksSql = R"sql(
SELECT t.title, t.artist, t.path
FROM (SELECT rowid AS entry FROM tracks_fts WHERE tracks_fts MATCH ?1
      ORDER BY rowid LIMIT ?2 OFFSET ?3) AS m
JOIN tracks t ON t.id = m.entry & 4294967295
ORDER BY m.entry)sql";

const char* const kCountTracksSql = "SELECT count(*) FROM tracks_fts WHERE tracks_fts MATCH ?1";

// Same artist first, then tracks sharing the track's genres (more shared
// genres first), then tracks of its decades; the track itself never. When the
// track is not catalogued, the artist's tracks stand for it.
const char* const kSimilarTracksSql = R"sql(
WITH seed AS (
  SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE AND title = ?2 COLLATE NOCASE),
base AS (
  SELECT id, year FROM seed
  UNION ALL
  SELECT id, year FROM tracks
  WHERE artist = ?1 COLLATE NOCASE AND NOT EXISTS (SELECT 1 FROM seed)),
seed_genres AS (SELECT DISTINCT genre FROM track_genres WHERE track_id IN (SELECT id FROM base)),
seed_decades AS (SELECT DISTINCT year / 10 AS decade FROM base WHERE year > 0),
candidates(id, score) AS (
  SELECT id, 3000 FROM tracks WHERE artist = ?1 COLLATE NOCASE
  UNION ALL
  SELECT track_id, 2000 + count(*) FROM track_genres
  WHERE genre IN (SELECT genre FROM seed_genres) GROUP BY track_id
  UNION ALL
  SELECT t.id, 1000 FROM seed_decades d
  JOIN tracks t ON t.year BETWEEN d.decade * 10 AND d.decade * 10 + 9),
ranked AS (SELECT id, max(score) AS score FROM candidates GROUP BY id)
SELECT t.title, t.artist, r.score, count(*) OVER (), t.path
FROM ranked r JOIN tracks t ON t.id = r.id
WHERE NOT (t.artist = ?1 COLLATE NOCASE AND t.title = ?2 COLLATE NOCASE)
ORDER BY r.score DESC, t.artist COLLATE NOCASE, t.title COLLATE NOCASE LIMIT ?3 OFFSET ?4)sql";

const char* const kTopArtistsOfGenreSql = R"sql(
SELECT t.artist, count(*) AS n, count(*) OVER ()
FROM track_genres g JOIN tracks t ON t.id = g.track_id
WHERE g.genre = ?1
GROUP BY t.artist COLLATE NOCASE
ORDER BY n DESC, t.artist COLLATE NOCASE LIMIT ?2 OFFSET ?3)sql";

const char* const kTopArtistsOfYearsSql = R"sql(
SELECT artist, count(*) AS n, count(*) OVER ()
FROM tracks WHERE year BETWEEN ?1 AND ?2
GROUP BY artist COLLATE NOCASE
ORDER BY n DESC, artist COLLATE NOCASE LIMIT ?3 OFFSET ?4)sql";

// Other artists sharing the artist's genres (more first), then its decades.
const char* const kSimilarArtistsSql = R"sql(
WITH mine AS (SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE),
my_genres AS (SELECT DISTINCT genre FROM track_genres WHERE track_id IN (SELECT id FROM mine)),
my_decades AS (SELECT DISTINCT year / 10 AS decade FROM mine WHERE year > 0),
genre_hits(artist, genres, decades) AS (
  SELECT t.artist, count(DISTINCT g.genre), 0
  FROM track_genres g JOIN tracks t ON t.id = g.track_id
  WHERE g.genre IN (SELECT genre FROM my_genres) AND t.artist <> ?1 COLLATE NOCASE
  GROUP BY t.artist COLLATE NOCASE),
decade_hits(artist, genres, decades) AS (
  SELECT t.artist, 0, count(DISTINCT t.year / 10)
  FROM my_decades d JOIN tracks t ON t.year BETWEEN d.decade * 10 AND d.decade * 10 + 9
  WHERE t.artist <> ?1 COLLATE NOCASE
  GROUP BY t.artist COLLATE NOCASE),
hits AS (SELECT * FROM genre_hits UNION ALL SELECT * FROM decade_hits)
SELECT artist, sum(genres) AS g, sum(decades) AS d, count(*) OVER ()
FROM hits GROUP BY artist COLLATE NOCASE
ORDER BY g DESC, d DESC, artist COLLATE NOCASE LIMIT ?2 OFFSET ?3)sql";

const char* const kSearchVideosSql = R"sql(
SELECT v.id, v.title, v.artist, v.extension, v.seconds
FROM (SELECT rowid AS entry FROM videos_fts WHERE videos_fts MATCH ?1
      ORDER BY rowid LIMIT ?2 OFFSET ?3) AS m
JOIN videos v ON v.id = m.entry & 4294967295
ORDER BY m.entry)sql";

const char* const kCountVideosSql = "SELECT count(*) FROM videos_fts WHERE videos_fts MATCH ?1";

std::string MatchAllWords(const std::string& text) {
    // Words as the full-text index cuts them: runs of ASCII letters and digits
    // and of any non-ASCII bytes. Each goes in quoted, so nothing in the text
    // is read as query syntax.
    std::string match;
    std::string word;
    const auto flush = [&] {
        if (word.empty())
            return;
        if (!match.empty())
            match += ' ';
        match += '"' + word + "\"*";
        word.clear();
    };
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
            (byte >= 'A' && byte <= 'Z'))
            word.push_back(c);
        else
            flush();
    }
    flush();
    return match;
}

namespace {
template <class Row, class Read>
Found<Row> Collect(Statement& statement, int totalColumn, Read read) {
    Found<Row> found;
    while (statement.Step()) {
        found.rows.push_back(read(statement));
        found.total = statement.Int(totalColumn);
    }
    return found;
}

// A page of full-text matches: the rows, and the count of every match, which
// is known without counting when the page is the last one.
template <class Row, class Read>
Found<Row> SearchPage(Database& db, const char* pageSql, const char* countSql,
                      const std::string& match, Window window, Read read) {
    Found<Row> found;
    Statement& page = db.Prepare(pageSql);
    page.Bind(1, match).Bind(2, window.limit).Bind(3, window.offset);
    while (page.Step())
        found.rows.push_back(read(page));
    const auto rows = static_cast<std::int64_t>(found.rows.size());
    if (rows < window.limit && (rows > 0 || window.offset == 0)) {
        found.total = window.offset + rows;
        return found;
    }
    Statement& count = db.Prepare(countSql);
    count.Bind(1, match);
    found.total = count.Step() ? count.Int(0) : 0;
    count.Reset();
    return found;
}
} // namespace

Found<Track> SearchTracks(Database& db, const std::string& text, Window window) {
    const std::string match = MatchAllWords(text);
    if (match.empty())
        return {};
    return SearchPage<Track>(db, kSearchTracksSql, kCountTracksSql, match, window,
                             [](const Statement& row) {
                                 return Track{row.Text(0), row.Text(1), 0, row.Text(2)};
                             });
}

namespace {

// The catalogue's answer over the full SQL: used while the precomputed lists
// are out of date (a scan is changing the tracks) or do not cover the seed.
Found<Track> SimilarTracksBySql(Database& db, const std::string& artist, const std::string& track,
                                Window window) {
    Statement& s = db.Prepare(kSimilarTracksSql);
    s.Bind(1, artist).Bind(2, track).Bind(3, window.limit).Bind(4, window.offset);
    return Collect<Track>(s, 3, [](const Statement& row) {
        return Track{row.Text(0), row.Text(1), row.Int(2), row.Text(4)};
    });
}

// The seed profile's key: the track (or, when it is not catalogued, all the
// artist's tracks) with its genres and decades.
std::optional<std::string> SeedKey(Database& db, const std::string& artist,
                                   const std::string& track) {
    std::vector<std::int64_t> ids;
    std::vector<std::int64_t> decades;
    const auto read = [&](Statement& s) {
        while (s.Step()) {
            ids.push_back(s.Int(0));
            if (s.Int(1) > 0)
                decades.push_back(s.Int(1) / 10);
        }
    };
    read(db.Prepare("SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE AND "
                    "title = ?2 COLLATE NOCASE")
             .Bind(1, artist)
             .Bind(2, track));
    if (ids.empty())
        read(db.Prepare("SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE")
                 .Bind(1, artist));
    if (ids.empty())
        return std::nullopt;
    std::vector<std::string> genres;
    Statement& genresOf = db.Prepare("SELECT genre FROM track_genres WHERE track_id = ?");
    for (const std::int64_t id : ids) {
        genresOf.Reset().Bind(1, id);
        while (genresOf.Step())
            genres.push_back(genresOf.Text(0));
    }
    return similarity::ProfileKey(genres, decades);
}

} // namespace

// The artist's other tracks first (read in order from the artist index),
// then the profile's precomputed list.
Found<Track> SimilarTracks(Database& db, const std::string& artist, const std::string& track,
                           Window window) {
    const std::int64_t depth = similarity::Depth(db);
    if (depth == 0)
        return SimilarTracksBySql(db, artist, track, window);
    const std::optional<std::string> key = SeedKey(db, artist, track);
    if (!key)
        return {};
    Statement& profile = db.Prepare("SELECT id FROM track_profiles WHERE key = ?");
    profile.Bind(1, *key);
    if (!profile.Step())
        return SimilarTracksBySql(db, artist, track, window);
    const std::int64_t profileId = profile.Int(0);
    profile.Reset();

    Found<Track> found;
    std::int64_t skip = window.offset;
    Statement& own = db.Prepare(
        "SELECT title, artist, path FROM tracks WHERE artist = ?1 COLLATE NOCASE AND "
        "NOT title = ?2 COLLATE NOCASE ORDER BY artist COLLATE NOCASE, title COLLATE NOCASE");
    own.Bind(1, artist).Bind(2, track);
    while (static_cast<std::int64_t>(found.rows.size()) < window.limit && own.Step()) {
        if (skip > 0) {
            --skip;
            continue;
        }
        found.rows.push_back({own.Text(0), own.Text(1), 3000, own.Text(2)});
    }
    own.Reset();
    // The profile's list holds every artist's tracks: the seed artist's own
    // are passed over, and the list's length counts the others.
    Statement& listed =
        db.Prepare("SELECT t.title, t.artist, s.score, t.path FROM similar_tracks s "
                   "JOIN tracks t ON t.id = s.track_id WHERE s.profile = ? ORDER BY s.rank");
    listed.Bind(1, profileId);
    const std::string seedArtist = similarity::Fold(artist);
    std::int64_t read = 0;
    int counted = 0;
    for (; static_cast<std::int64_t>(found.rows.size()) < window.limit &&
           counted < similarity::kListLength && listed.Step();) {
        ++read;
        if (similarity::Fold(listed.Text(1)) == seedArtist)
            continue;
        ++counted;
        if (skip > 0) {
            --skip;
            continue;
        }
        found.rows.push_back({listed.Text(0), listed.Text(1), listed.Int(2), listed.Text(3)});
    }
    listed.Reset();
    // An artist with more tracks in the list than it goes deep for theirs.
    if (read == depth && counted < similarity::kListLength &&
        static_cast<std::int64_t>(found.rows.size()) < window.limit)
        return SimilarTracksBySql(db, artist, track, window);
    found.total = static_cast<std::int64_t>(found.rows.size());
    return found;
}

// The paged list of a genre or decade, precomputed; the total is the last rank.
std::optional<Found<Artist>> ListedTopArtists(Database& db, const std::string& tag, Window window) {
    if (!similarity::Ready(db))
        return std::nullopt;
    Statement& s = db.Prepare("SELECT a.name, l.tracks FROM top_artists l JOIN artists a "
                              "ON a.id = l.artist WHERE l.tag = ? AND l.rank >= ? "
                              "ORDER BY l.rank LIMIT ?");
    s.Bind(1, tag).Bind(2, window.offset).Bind(3, window.limit);
    Found<Artist> found = Collect<Artist>(s, 1, [](const Statement& row) {
        return Artist{row.Text(0), row.Int(1), 0, 0};
    });
    Statement& last = db.Prepare("SELECT rank FROM top_artists WHERE tag = ? ORDER BY rank DESC "
                                 "LIMIT 1");
    last.Bind(1, tag);
    found.total = last.Step() ? last.Int(0) + 1 : 0;
    last.Reset();
    return found;
}

Found<Artist> TopArtists(Database& db, const std::string& tag, Window window) {
    const auto readArtist = [](const Statement& row) {
        return Artist{row.Text(0), row.Int(1), 0, 0};
    };
    if (const auto years = genres::DecadeOfTag(tag)) {
        if (years->first % 10 == 0 && years->last == years->first + 9)
            if (auto listed = ListedTopArtists(db, "y:" + std::to_string(years->first), window))
                return *listed;
        Statement& s = db.Prepare(kTopArtistsOfYearsSql);
        s.Bind(1, std::int64_t{years->first}).Bind(2, std::int64_t{years->last});
        s.Bind(3, window.limit).Bind(4, window.offset);
        return Collect<Artist>(s, 2, readArtist);
    }
    const std::string key = genres::Key(tag);
    if (key.empty())
        return {};
    if (auto listed = ListedTopArtists(db, "g:" + key, window))
        return *listed;
    Statement& s = db.Prepare(kTopArtistsOfGenreSql);
    s.Bind(1, key).Bind(2, window.limit).Bind(3, window.offset);
    return Collect<Artist>(s, 2, readArtist);
}

Found<Artist> SimilarArtists(Database& db, const std::string& artist, Window window) {
    if (similarity::Ready(db)) {
        Statement& s =
            db.Prepare("SELECT o.name, l.genres, l.decades FROM artists a "
                       "JOIN similar_artists l ON l.artist = a.id JOIN artists o ON o.id = l.other "
                       "WHERE a.key = ? AND l.rank >= ? ORDER BY l.rank LIMIT ?");
        s.Bind(1, similarity::Fold(artist)).Bind(2, window.offset).Bind(3, window.limit);
        Found<Artist> found;
        while (s.Step())
            found.rows.push_back({s.Text(0), 0, s.Int(1), s.Int(2)});
        found.total = static_cast<std::int64_t>(found.rows.size());
        return found;
    }
    Statement& s = db.Prepare(kSimilarArtistsSql);
    s.Bind(1, artist).Bind(2, window.limit).Bind(3, window.offset);
    return Collect<Artist>(s, 3, [](const Statement& row) {
        return Artist{row.Text(0), 0, row.Int(1), row.Int(2)};
    });
}

Found<Video> SearchVideos(Database& db, const std::string& text, Window window) {
    const std::string match = MatchAllWords(text);
    if (match.empty())
        return {};
    return SearchPage<Video>(
        db, kSearchVideosSql, kCountVideosSql, match, window, [](const Statement& row) {
            return Video{row.Int(0), row.Text(1), row.Text(2), row.Text(3), row.Int(4)};
        });
}

std::optional<VideoFile> FindVideoFile(Database& db, std::int64_t id) {
    Statement& s = db.Prepare("SELECT path, extension FROM videos WHERE id = ?");
    s.Bind(1, id);
    if (!s.Step())
        return std::nullopt;
    VideoFile file{s.Text(0), s.Text(1)};
    s.Reset();
    return file;
}

} // namespace queries
