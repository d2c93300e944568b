// The precomputed similarity lists answer exactly as the plain SQL over the
// tracks does, on a generated catalogue with the awkward cases in it (artists
// in two cases, tracks without year or genre, several genres and decades),
// also after tracks changed, came or went and only their lists were updated.
#include "catalog/Similarity.h"
#include "catalog/Database.h"
#include "catalog/Queries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

struct Answers {
    std::vector<std::string> tracks;
    std::vector<std::string> artists;
    std::vector<std::string> top;
};

std::string row(const queries::Track& t) {
    return similarity::fold(t.artist) + "|" + t.title + "|" + std::to_string(t.score);
}

std::string row(const queries::Artist& a) {
    return similarity::fold(a.name) + "|" + std::to_string(a.tracks) + "|" +
           std::to_string(a.sharedGenres) + "|" + std::to_string(a.sharedDecades);
}

class Similarity : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = std::filesystem::path(testing::TempDir()) /
                ("similarity_" + std::to_string(getpid()) + ".sqlite");
        std::filesystem::remove(file_);
        db_ = std::make_unique<Database>(file_.string());
        Transaction transaction(*db_);
        for (int i = 0; i < 3000; ++i)
            add(i);
        // An artist with more tracks than the lists go deep for, first in
        // the answers' order.
        for (int i = 0; i < 150; ++i) {
            db_->prepare("INSERT INTO tracks(path, size, mtime, title, artist, year) VALUES "
                         "(?, 1, 1, ?, 'AAA Heavy', 1975)")
                .bind(1, "/heavy/" + std::to_string(i))
                .bind(2, "Heavy " + std::to_string(i))
                .run();
            db_->prepare("INSERT INTO track_genres SELECT max(id), 'rock' FROM tracks").run();
        }
        transaction.commit();
    }

    // Track i of a random artist (of 150, or of 170 after the first 3000),
    // with random year and genres.
    std::int64_t add(int i) {
        const int artist = static_cast<int>(random_() % (i < 3000 ? 150 : 170));
        // Every fifth track of an artist names it in upper case.
        std::string name = "Artist " + std::to_string(artist);
        if (i % 5 == 0)
            name = "ARTIST " + std::to_string(artist);
        const int year =
            random_() % 8 ? 1950 + artist % 6 * 10 + static_cast<int>(random_() % 25) : 0;
        Statement& track = db_->prepare("INSERT INTO tracks(path, size, mtime, title, artist, "
                                        "year) VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
        track.bind(1, "/m/" + std::to_string(i)).bind(2, "Title " + std::to_string(i));
        track.bind(3, name).bind(4, std::int64_t{year});
        EXPECT_TRUE(track.step());
        const std::int64_t id = track.integer(0);
        track.run();
        const char* const genres[] = {"rock", "pop", "rb", "funk", "jazz", "rap", "soul"};
        for (int g = static_cast<int>(random_() % 3); g > 0; --g)
            db_->prepare("INSERT OR IGNORE INTO track_genres VALUES (?, ?)")
                .bind(1, id)
                .bind(2, genres[(artist + random_() % 3) % 7])
                .run();
        return id;
    }
    void TearDown() override {
        db_.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file_.string() + suffix);
    }

    Answers ask(queries::Window window) {
        Answers answers;
        for (const auto& [artist, title] : std::vector<std::pair<std::string, std::string>>{
                 {"Artist 7", "Title 1000"},
                 {"artist 12", "nothing of theirs"},
                 {"Artist 99", "title 5"},
                 {"aaa heavy", "Heavy 7"},
                 {"Nobody", "Nothing"},
             })
            for (const auto& t : queries::similarTracks(*db_, artist, title, window).rows)
                answers.tracks.push_back(artist + ": " + row(t));
        for (int a = 0; a < 150; a += 7)
            for (const auto& found :
                 queries::similarArtists(*db_, "artist " + std::to_string(a), window).rows)
                answers.artists.push_back(std::to_string(a) + ": " + row(found));
        for (const char* tag : {"rock", "Soul", "70s", "1980s", "polka"}) {
            const auto found = queries::topArtists(*db_, tag, window);
            answers.top.push_back(std::string(tag) + " total " + std::to_string(found.total));
            for (const auto& a : found.rows)
                answers.top.push_back(std::string(tag) + ": " + row(a));
        }
        return answers;
    }

    std::filesystem::path file_;
    std::unique_ptr<Database> db_;
    std::mt19937 random_{5};
};

TEST_F(Similarity, ListsAnswerAsTheSqlDoes) {
    for (const queries::Window window : {queries::Window{100, 0}, queries::Window{7, 5}}) {
        ASSERT_FALSE(similarity::ready(*db_));
        const Answers bySql = ask(window);
        similarity::recompute(*db_);
        ASSERT_TRUE(similarity::ready(*db_));
        const Answers listed = ask(window);
        EXPECT_EQ(listed.tracks, bySql.tracks);
        EXPECT_EQ(listed.artists, bySql.artists);
        EXPECT_EQ(listed.top, bySql.top);
        EXPECT_GT(bySql.tracks.size(), 10u);
        EXPECT_GT(bySql.artists.size(), 10u);
        similarity::invalidate(*db_);
    }
}

TEST_F(Similarity, ListsFollowChangedTracksAsTheSqlDoes) {
    similarity::recompute(*db_);
    int next = 3000;
    for (int round = 0; round < 6; ++round) {
        // Some tracks retagged (artist, title, year or genres), some removed,
        // some new (a few by artists new to the catalogue, one of them the
        // first in the answers' order, so that it enters many lists).
        std::vector<std::int64_t> ids;
        for (int n = 0; n < 4; ++n)
            ids.push_back(1 + static_cast<std::int64_t>(random_() % 3000));
        Transaction transaction(*db_);
        const auto before = similarity::readStates(*db_, ids);
        for (size_t n = 0; n < ids.size(); ++n) {
            const std::int64_t id = ids[n];
            switch ((round + n) % 4) {
            case 0:
                db_->prepare("UPDATE tracks SET artist = ?, title = ? WHERE id = ?")
                    .bind(1, round % 2 ? "aaa first" : "Artist 3")
                    .bind(2, "Again " + std::to_string(id))
                    .bind(3, id)
                    .run();
                break;
            case 1:
                db_->prepare("UPDATE tracks SET year = ? WHERE id = ?")
                    .bind(1, std::int64_t{1960 + round * 7})
                    .bind(2, id)
                    .run();
                break;
            case 2:
                db_->prepare("DELETE FROM track_genres WHERE track_id = ?").bind(1, id).run();
                db_->prepare("INSERT INTO track_genres VALUES (?, 'blues')").bind(1, id).run();
                break;
            default:
                db_->prepare("DELETE FROM tracks WHERE id = ?").bind(1, id).run();
            }
        }
        for (int n = 0; n < 3; ++n)
            ids.push_back(add(next++));
        similarity::update(*db_, before, ids);
        transaction.commit();

        ASSERT_TRUE(similarity::ready(*db_));
        const Answers listed = ask({100, 0});
        Answers bySql;
        {
            Transaction sqlOnly(*db_); // rolled back: the lists stay ready
            similarity::invalidate(*db_);
            bySql = ask({100, 0});
        }
        ASSERT_EQ(listed.tracks, bySql.tracks) << "round " << round;
        ASSERT_EQ(listed.artists, bySql.artists) << "round " << round;
        ASSERT_EQ(listed.top, bySql.top) << "round " << round;
    }
}

} // namespace
