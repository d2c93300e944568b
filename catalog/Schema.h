#pragma once

// The catalogue's tables. Music and videos are kept apart, each with a
// full-text index (FTS5, kept in step by triggers, and by the scan itself for
// the rows its batches insert) over the words searched.
//
// The indexes hold no text of their own, and each entry's rowid is its
// search order: the length of the shown text (title and artist) in the high
// bits, the row's id in the low 32. The matches of a search thus come out
// best first (the shortest entries, whose words are the most of them) and a
// page of answers costs its own rows, not a ranking of every match.
namespace schema {

inline constexpr int kVersion = 6;

inline constexpr const char* kDropAll = R"sql(
DROP TABLE IF EXISTS tracks_fts; DROP TABLE IF EXISTS track_genres; DROP TABLE IF EXISTS tracks;
DROP TABLE IF EXISTS videos_fts; DROP TABLE IF EXISTS videos;
DROP TABLE IF EXISTS similarity_ready; DROP TABLE IF EXISTS artists;
DROP TABLE IF EXISTS track_profiles; DROP TABLE IF EXISTS similar_tracks;
DROP TABLE IF EXISTS similar_artists; DROP TABLE IF EXISTS top_artists;
DROP TABLE IF EXISTS scan_batch;
)sql";

inline constexpr const char* kCreate = R"sql(
CREATE TABLE IF NOT EXISTS tracks(
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL,
  title TEXT NOT NULL,
  artist TEXT NOT NULL,
  album TEXT NOT NULL DEFAULT '',
  year INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS track_genres(
  track_id INTEGER NOT NULL,
  genre TEXT NOT NULL,
  PRIMARY KEY(track_id, genre)) WITHOUT ROWID;
CREATE VIRTUAL TABLE IF NOT EXISTS tracks_fts USING fts5(
  title, artist, name, content='', tokenize='unicode61 remove_diacritics 2');
-- Holds a row while a scan stores a batch of files, inside the batch's
-- transaction: the scan then makes the new rows' full-text entries itself, at
-- the batch's end (kIndexNewTracks, kIndexNewVideos).
CREATE TABLE IF NOT EXISTS scan_batch(active INTEGER);
CREATE TRIGGER IF NOT EXISTS tracks_ai AFTER INSERT ON tracks
WHEN NOT EXISTS (SELECT 1 FROM scan_batch) BEGIN
  INSERT INTO tracks_fts(rowid, title, artist, name) VALUES (
    min(length(new.title) + length(new.artist), 65535) << 32 | new.id,
    new.title, new.artist, new.name);
END;
CREATE TRIGGER IF NOT EXISTS tracks_ad AFTER DELETE ON tracks BEGIN
  INSERT INTO tracks_fts(tracks_fts, rowid, title, artist, name) VALUES ('delete',
    min(length(old.title) + length(old.artist), 65535) << 32 | old.id,
    old.title, old.artist, old.name);
  DELETE FROM track_genres WHERE track_id = old.id;
END;
CREATE TRIGGER IF NOT EXISTS tracks_au AFTER UPDATE ON tracks BEGIN
  INSERT INTO tracks_fts(tracks_fts, rowid, title, artist, name) VALUES ('delete',
    min(length(old.title) + length(old.artist), 65535) << 32 | old.id,
    old.title, old.artist, old.name);
  INSERT INTO tracks_fts(rowid, title, artist, name) VALUES (
    min(length(new.title) + length(new.artist), 65535) << 32 | new.id,
    new.title, new.artist, new.name);
END;

-- Worked out after each scan that changed the tracks (see Similarity.h).
CREATE TABLE IF NOT EXISTS similarity_ready(depth INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS artists(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS track_profiles(
  key TEXT PRIMARY KEY,
  id INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS similar_tracks(
  profile INTEGER NOT NULL,
  rank INTEGER NOT NULL,
  track_id INTEGER NOT NULL,
  score INTEGER NOT NULL,
  PRIMARY KEY(profile, rank)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS similar_artists(
  artist INTEGER NOT NULL,
  rank INTEGER NOT NULL,
  other INTEGER NOT NULL,
  genres INTEGER NOT NULL,
  decades INTEGER NOT NULL,
  PRIMARY KEY(artist, rank)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS top_artists(
  tag TEXT NOT NULL,
  rank INTEGER NOT NULL,
  artist INTEGER NOT NULL,
  tracks INTEGER NOT NULL,
  PRIMARY KEY(tag, rank)) WITHOUT ROWID;

CREATE TABLE IF NOT EXISTS videos(
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL,
  extension TEXT NOT NULL,
  name TEXT NOT NULL,
  title TEXT NOT NULL,
  artist TEXT NOT NULL DEFAULT '',
  seconds INTEGER NOT NULL DEFAULT 0);
CREATE VIRTUAL TABLE IF NOT EXISTS videos_fts USING fts5(
  name, title, artist, content='', tokenize='unicode61 remove_diacritics 2');
CREATE TRIGGER IF NOT EXISTS videos_ai AFTER INSERT ON videos
WHEN NOT EXISTS (SELECT 1 FROM scan_batch) BEGIN
  INSERT INTO videos_fts(rowid, name, title, artist) VALUES (
    min(length(new.title) + length(new.artist), 65535) << 32 | new.id,
    new.name, new.title, new.artist);
END;
CREATE TRIGGER IF NOT EXISTS videos_ad AFTER DELETE ON videos BEGIN
  INSERT INTO videos_fts(videos_fts, rowid, name, title, artist) VALUES ('delete',
    min(length(old.title) + length(old.artist), 65535) << 32 | old.id,
    old.name, old.title, old.artist);
END;
CREATE TRIGGER IF NOT EXISTS videos_au AFTER UPDATE ON videos BEGIN
  INSERT INTO videos_fts(videos_fts, rowid, name, title, artist) VALUES ('delete',
    min(length(old.title) + length(old.artist), 65535) << 32 | old.id,
    old.name, old.title, old.artist);
  INSERT INTO videos_fts(rowid, name, title, artist) VALUES (
    min(length(new.title) + length(new.artist), 65535) << 32 | new.id,
    new.name, new.title, new.artist);
END;
)sql";

// The indexes the answers' plain SQL looks tracks up by. A first scan of
// many files drops them and makes them again at its end, from the sorted
// rows, instead of entry by entry as the rows come in.
inline constexpr const char* kSecondaryIndexes = R"sql(
CREATE INDEX IF NOT EXISTS tracks_by_artist
  ON tracks(artist COLLATE NOCASE, title COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS tracks_by_year ON tracks(year);
CREATE INDEX IF NOT EXISTS track_genres_by_genre ON track_genres(genre, track_id);
)sql";
inline constexpr const char* kDropSecondaryIndexes = R"sql(
DROP INDEX IF EXISTS tracks_by_artist; DROP INDEX IF EXISTS tracks_by_year;
DROP INDEX IF EXISTS track_genres_by_genre;
)sql";

// The full-text entries of the rows from id ?1 on, in the index's order, as
// the insert triggers make them.
inline constexpr const char* kIndexNewTracks = R"sql(
INSERT INTO tracks_fts(rowid, title, artist, name)
SELECT min(length(title) + length(artist), 65535) << 32 | id, title, artist, name
FROM tracks WHERE id >= ?1 ORDER BY 1)sql";
inline constexpr const char* kIndexNewVideos = R"sql(
INSERT INTO videos_fts(rowid, name, title, artist)
SELECT min(length(title) + length(artist), 65535) << 32 | id, name, title, artist
FROM videos WHERE id >= ?1 ORDER BY 1)sql";

} // namespace schema
