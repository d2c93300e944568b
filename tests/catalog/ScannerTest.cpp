// A first scan of more files than are changed in place, on real files: it
// makes the full-text entries and the indexes itself, and a scan stopped part
// way leaves what it stored searchable and its indexes whole.
#include "catalog/Scanner.h"
#include "catalog/Database.h"
#include "catalog/Queries.h"
#include "catalog/Similarity.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kTracks = 2100;
constexpr int kVideos = 3;

std::int64_t indexesOfTracks(Database& db) {
    Statement& count = db.prepare("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND "
                                  "name IN ('tracks_by_artist', 'tracks_by_year', "
                                  "'track_genres_by_genre')");
    count.step();
    const std::int64_t n = count.integer(0);
    count.reset();
    return n;
}

TEST(FirstScan, AStoppedScanKeepsItsEntriesAndIndexesAndTheNextEndsIt) {
    const fs::path root = fs::path(testing::TempDir()) / ("scanner_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "music");
    fs::create_directories(root / "videos");
    // No tags: the names give the artists and titles.
    for (int i = 0; i < kTracks; ++i)
        std::ofstream(root / "music" /
                      ("Band " + std::to_string(i % 50) + " - Song " + std::to_string(i) + ".mp3"))
            << "x";
    for (int i = 0; i < kVideos; ++i)
        std::ofstream(root / "videos" / ("Clip " + std::to_string(i) + ".mp4")) << "x";

    Database db((root / "catalog.sqlite").string());
    Scanner scanner(db, {{(root / "music").string()}, {(root / "videos").string()}});
    std::atomic<bool> stop{false};
    scanner.setStopFlag(&stop);
    scanner.setProgress([&](std::int64_t done, std::int64_t) { stop = done >= 1000; });
    const ScanReport stopped = scanner.run();
    EXPECT_EQ(stopped.read, 1000);
    EXPECT_EQ(indexesOfTracks(db), 3);
    EXPECT_EQ(queries::searchTracks(db, "song", {10, 0}).total, stopped.read);

    stop = false;
    scanner.setProgress({});
    const ScanReport rest = scanner.run();
    EXPECT_EQ(rest.unchanged, stopped.read);
    EXPECT_EQ(rest.read, kTracks + kVideos - stopped.read);
    EXPECT_EQ(indexesOfTracks(db), 3);
    const auto songs = queries::searchTracks(db, "song", {1, 0});
    EXPECT_EQ(songs.total, kTracks);
    // The shortest entry first, the first catalogued of those.
    ASSERT_EQ(songs.rows.size(), 1u);
    EXPECT_EQ(songs.rows[0].title, "Song 0");
    EXPECT_EQ(queries::searchTracks(db, "band 7 song 1007", {10, 0}).total, 1);
    EXPECT_EQ(queries::searchVideos(db, "clip", {10, 0}).total, kVideos);
    EXPECT_TRUE(similarity::ready(db));
    fs::remove_all(root);
}

} // namespace
