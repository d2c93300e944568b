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

std::string matchAllWords(const std::string& text) {
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
Found<Row> collect(Statement& statement, int totalColumn, Read read) {
    Found<Row> found;
    while (statement.step()) {
        found.rows.push_back(read(statement));
        found.total = statement.integer(totalColumn);
    }
    return found;
}

// A page of full-text matches: the rows, and the count of every match, which
// is known without counting when the page is the last one.
template <class Row, class Read>
Found<Row> searchPage(Database& db, const char* pageSql, const char* countSql,
                      const std::string& match, Window window, Read read) {
    Found<Row> found;
    Statement& page = db.prepare(pageSql);
    page.bind(1, match).bind(2, window.limit).bind(3, window.offset);
    while (page.step())
        found.rows.push_back(read(page));
    const auto rows = static_cast<std::int64_t>(found.rows.size());
    if (rows < window.limit && (rows > 0 || window.offset == 0)) {
        found.total = window.offset + rows;
        return found;
    }
    Statement& count = db.prepare(countSql);
    count.bind(1, match);
    found.total = count.step() ? count.integer(0) : 0;
    count.reset();
    return found;
}
} // namespace

Found<Track> searchTracks(Database& db, const std::string& text, Window window) {
    const std::string match = matchAllWords(text);
    if (match.empty())
        return {};
    return searchPage<Track>(db, kSearchTracksSql, kCountTracksSql, match, window,
                             [](const Statement& row) {
                                 return Track{row.text(0), row.text(1), 0, row.text(2)};
                             });
}

namespace {

// The catalogue's answer over the full SQL: used while the precomputed lists
// are out of date (a scan is changing the tracks) or do not cover the seed.
Found<Track> similarTracksBySql(Database& db, const std::string& artist, const std::string& track,
                                Window window) {
    Statement& s = db.prepare(kSimilarTracksSql);
    s.bind(1, artist).bind(2, track).bind(3, window.limit).bind(4, window.offset);
    return collect<Track>(s, 3, [](const Statement& row) {
        return Track{row.text(0), row.text(1), row.integer(2), row.text(4)};
    });
}

// The seed profile's key: the track (or, when it is not catalogued, all the
// artist's tracks) with its genres and decades.
std::optional<std::string> seedKey(Database& db, const std::string& artist,
                                   const std::string& track) {
    std::vector<std::int64_t> ids;
    std::vector<std::int64_t> decades;
    const auto read = [&](Statement& s) {
        while (s.step()) {
            ids.push_back(s.integer(0));
            if (s.integer(1) > 0)
                decades.push_back(s.integer(1) / 10);
        }
    };
    read(db.prepare("SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE AND "
                    "title = ?2 COLLATE NOCASE")
             .bind(1, artist)
             .bind(2, track));
    if (ids.empty())
        read(db.prepare("SELECT id, year FROM tracks WHERE artist = ?1 COLLATE NOCASE")
                 .bind(1, artist));
    if (ids.empty())
        return std::nullopt;
    std::vector<std::string> genres;
    Statement& genresOf = db.prepare("SELECT genre FROM track_genres WHERE track_id = ?");
    for (const std::int64_t id : ids) {
        genresOf.reset().bind(1, id);
        while (genresOf.step())
            genres.push_back(genresOf.text(0));
    }
    return similarity::profileKey(genres, decades);
}

} // namespace

// The artist's other tracks first (read in order from the artist index),
// then the profile's precomputed list.
Found<Track> similarTracks(Database& db, const std::string& artist, const std::string& track,
                           Window window) {
    const std::int64_t depth = similarity::depth(db);
    if (depth == 0)
        return similarTracksBySql(db, artist, track, window);
    const std::optional<std::string> key = seedKey(db, artist, track);
    if (!key)
        return {};
    Statement& profile = db.prepare("SELECT id FROM track_profiles WHERE key = ?");
    profile.bind(1, *key);
    if (!profile.step())
        return similarTracksBySql(db, artist, track, window);
    const std::int64_t profileId = profile.integer(0);
    profile.reset();

    Found<Track> found;
    std::int64_t skip = window.offset;
    Statement& own = db.prepare(
        "SELECT title, artist, path FROM tracks WHERE artist = ?1 COLLATE NOCASE AND "
        "NOT title = ?2 COLLATE NOCASE ORDER BY artist COLLATE NOCASE, title COLLATE NOCASE");
    own.bind(1, artist).bind(2, track);
    while (static_cast<std::int64_t>(found.rows.size()) < window.limit && own.step()) {
        if (skip > 0) {
            --skip;
            continue;
        }
        found.rows.push_back({own.text(0), own.text(1), 3000, own.text(2)});
    }
    own.reset();
    // The profile's list holds every artist's tracks: the seed artist's own
    // are passed over, and the list's length counts the others.
    Statement& listed =
        db.prepare("SELECT t.title, t.artist, s.score, t.path FROM similar_tracks s "
                   "JOIN tracks t ON t.id = s.track_id WHERE s.profile = ? ORDER BY s.rank");
    listed.bind(1, profileId);
    const std::string seedArtist = similarity::fold(artist);
    std::int64_t read = 0;
    int counted = 0;
    for (; static_cast<std::int64_t>(found.rows.size()) < window.limit &&
           counted < similarity::kListLength && listed.step();) {
        ++read;
        if (similarity::fold(listed.text(1)) == seedArtist)
            continue;
        ++counted;
        if (skip > 0) {
            --skip;
            continue;
        }
        found.rows.push_back({listed.text(0), listed.text(1), listed.integer(2), listed.text(3)});
    }
    listed.reset();
    // An artist with more tracks in the list than it goes deep for theirs.
    if (read == depth && counted < similarity::kListLength &&
        static_cast<std::int64_t>(found.rows.size()) < window.limit)
        return similarTracksBySql(db, artist, track, window);
    found.total = static_cast<std::int64_t>(found.rows.size());
    return found;
}

// The paged list of a genre or decade, precomputed; the total is the last rank.
std::optional<Found<Artist>> listedTopArtists(Database& db, const std::string& tag, Window window) {
    if (!similarity::ready(db))
        return std::nullopt;
    Statement& s = db.prepare("SELECT a.name, l.tracks FROM top_artists l JOIN artists a "
                              "ON a.id = l.artist WHERE l.tag = ? AND l.rank >= ? "
                              "ORDER BY l.rank LIMIT ?");
    s.bind(1, tag).bind(2, window.offset).bind(3, window.limit);
    Found<Artist> found = collect<Artist>(s, 1, [](const Statement& row) {
        return Artist{row.text(0), row.integer(1), 0, 0};
    });
    Statement& last = db.prepare("SELECT rank FROM top_artists WHERE tag = ? ORDER BY rank DESC "
                                 "LIMIT 1");
    last.bind(1, tag);
    found.total = last.step() ? last.integer(0) + 1 : 0;
    last.reset();
    return found;
}

Found<Artist> topArtists(Database& db, const std::string& tag, Window window) {
    const auto readArtist = [](const Statement& row) {
        return Artist{row.text(0), row.integer(1), 0, 0};
    };
    if (const auto years = genres::decadeOfTag(tag)) {
        if (years->first % 10 == 0 && years->last == years->first + 9)
            if (auto listed = listedTopArtists(db, "y:" + std::to_string(years->first), window))
                return *listed;
        Statement& s = db.prepare(kTopArtistsOfYearsSql);
        s.bind(1, std::int64_t{years->first}).bind(2, std::int64_t{years->last});
        s.bind(3, window.limit).bind(4, window.offset);
        return collect<Artist>(s, 2, readArtist);
    }
    const std::string key = genres::key(tag);
    if (key.empty())
        return {};
    if (auto listed = listedTopArtists(db, "g:" + key, window))
        return *listed;
    Statement& s = db.prepare(kTopArtistsOfGenreSql);
    s.bind(1, key).bind(2, window.limit).bind(3, window.offset);
    return collect<Artist>(s, 2, readArtist);
}

Found<Artist> similarArtists(Database& db, const std::string& artist, Window window) {
    if (similarity::ready(db)) {
        Statement& s =
            db.prepare("SELECT o.name, l.genres, l.decades FROM artists a "
                       "JOIN similar_artists l ON l.artist = a.id JOIN artists o ON o.id = l.other "
                       "WHERE a.key = ? AND l.rank >= ? ORDER BY l.rank LIMIT ?");
        s.bind(1, similarity::fold(artist)).bind(2, window.offset).bind(3, window.limit);
        Found<Artist> found;
        while (s.step())
            found.rows.push_back({s.text(0), 0, s.integer(1), s.integer(2)});
        found.total = static_cast<std::int64_t>(found.rows.size());
        return found;
    }
    Statement& s = db.prepare(kSimilarArtistsSql);
    s.bind(1, artist).bind(2, window.limit).bind(3, window.offset);
    return collect<Artist>(s, 3, [](const Statement& row) {
        return Artist{row.text(0), 0, row.integer(1), row.integer(2)};
    });
}

Found<Video> searchVideos(Database& db, const std::string& text, Window window) {
    const std::string match = matchAllWords(text);
    if (match.empty())
        return {};
    return searchPage<Video>(
        db, kSearchVideosSql, kCountVideosSql, match, window, [](const Statement& row) {
            return Video{row.integer(0), row.text(1), row.text(2), row.text(3), row.integer(4)};
        });
}

std::optional<VideoFile> findVideoFile(Database& db, std::int64_t id) {
    Statement& s = db.prepare("SELECT path, extension FROM videos WHERE id = ?");
    s.bind(1, id);
    if (!s.step())
        return std::nullopt;
    VideoFile file{s.text(0), s.text(1)};
    s.reset();
    return file;
}

} // namespace queries
