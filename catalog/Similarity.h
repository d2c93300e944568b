#pragma once

#include "catalog/Database.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the similar-track, similar-artist and top-artist answers need, worked
// out ahead over the whole catalogue, so that each answer is an indexed
// lookup instead of a pass over every track sharing a genre or decade. The
// lists are kept in tables beside the tracks:
//   artists          one row per artist (names compared without regard to ASCII case)
//   track_profiles   one row per seed profile: a set of genres and decades
//   similar_tracks   per profile, the closest tracks of every artist, best first, as deep
//                    as the list length plus the most tracks one artist has, up to
//                    twice the length (the answer passes over the seed artist's own)
//   similar_artists  per artist, the closest other artists, best first
//   top_artists      per genre or decade tag, every artist by its tracks there
// The row "similarity_ready" says the lists match the tracks, and how deep
// the track lists go. A scan that changes many tracks removes it before it
// changes anything, and the answers fall back on plain SQL until the lists
// are made again; a few changed tracks (a rescan of a touched file, a file
// the watcher saw arrive) update only the lists they touch, in the same
// transaction as the tracks, so that the lists are never out of date.
namespace similarity {

// Similar answers hold at most this many rows (the player asks for 100).
inline constexpr int kListLength = 100;

// Remakes every list in one transaction and marks them ready.
void recompute(Database& db);

// A track as the lists see it: read before it changes or goes, so that the
// lists it stood in can be found afterwards.
struct TrackState {
    std::int64_t id = 0;
    std::string artistKey;
    std::string sortKey; // folded artist, NUL, folded title
    std::vector<std::string> genres;
    std::int64_t decade = -1; // none when the year is unknown
};
// The states of those tracks that are catalogued (others are left out).
std::vector<TrackState> readStates(Database& db, const std::vector<std::int64_t>& ids);
// After the tracks with these ids changed, were added or removed (before:
// their states read before the change), brings up to date the lists where a
// version of them stands or stood, inside the caller's transaction. Lists not
// ready are made whole.
void update(Database& db, const std::vector<TrackState>& before,
            const std::vector<std::int64_t>& ids);
// Marks the lists out of date (inside the caller's transaction).
void invalidate(Database& db);
bool ready(Database& db);
// How deep the track lists go (0 when they are not ready).
std::int64_t depth(Database& db);

// The folding SQLite's NOCASE applies: ASCII letters lowered.
std::string fold(std::string_view text);
// The key of a seed profile: its genre keys and its decades, each set sorted.
std::string profileKey(std::vector<std::string> genres, std::vector<std::int64_t> decades);

} // namespace similarity
