#include "catalog/Queries.h"

#include "catalog/Genres.h"

namespace queries {

const char* const kSearchTracksSql = R"sql(
SELECT t.title, t.artist, count(*) OVER ()
FROM tracks_fts JOIN tracks t ON t.id = tracks_fts.rowid
WHERE tracks_fts MATCH ?1
ORDER BY tracks_fts.rank, t.artist, t.title LIMIT ?2 OFFSET ?3)sql";

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
SELECT t.title, t.artist, r.score, count(*) OVER ()
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
SELECT v.id, v.title, v.artist, v.extension, v.seconds, count(*) OVER ()
FROM videos_fts JOIN videos v ON v.id = videos_fts.rowid
WHERE videos_fts MATCH ?1
ORDER BY videos_fts.rank, v.title LIMIT ?2 OFFSET ?3)sql";

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

Track ReadTrack(const Statement& s) {
    return Track{s.Text(0), s.Text(1), 0};
}
} // namespace

Found<Track> SearchTracks(Database& db, const std::string& text, Window window) {
    const std::string match = MatchAllWords(text);
    if (match.empty())
        return {};
    Statement& s = db.Prepare(kSearchTracksSql);
    s.Bind(1, match).Bind(2, window.limit).Bind(3, window.offset);
    return Collect<Track>(s, 2, ReadTrack);
}

Found<Track> SimilarTracks(Database& db, const std::string& artist, const std::string& track,
                           Window window) {
    Statement& s = db.Prepare(kSimilarTracksSql);
    s.Bind(1, artist).Bind(2, track).Bind(3, window.limit).Bind(4, window.offset);
    return Collect<Track>(s, 3, [](const Statement& row) {
        return Track{row.Text(0), row.Text(1), row.Int(2)};
    });
}

Found<Artist> TopArtists(Database& db, const std::string& tag, Window window) {
    const auto readArtist = [](const Statement& row) {
        return Artist{row.Text(0), row.Int(1), 0, 0};
    };
    if (const auto years = genres::DecadeOfTag(tag)) {
        Statement& s = db.Prepare(kTopArtistsOfYearsSql);
        s.Bind(1, std::int64_t{years->first}).Bind(2, std::int64_t{years->last});
        s.Bind(3, window.limit).Bind(4, window.offset);
        return Collect<Artist>(s, 2, readArtist);
    }
    const std::string key = genres::Key(tag);
    if (key.empty())
        return {};
    Statement& s = db.Prepare(kTopArtistsOfGenreSql);
    s.Bind(1, key).Bind(2, window.limit).Bind(3, window.offset);
    return Collect<Artist>(s, 2, readArtist);
}

Found<Artist> SimilarArtists(Database& db, const std::string& artist, Window window) {
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
    Statement& s = db.Prepare(kSearchVideosSql);
    s.Bind(1, match).Bind(2, window.limit).Bind(3, window.offset);
    return Collect<Video>(s, 5, [](const Statement& row) {
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
