// The precomputed similarity lists answer exactly as the plain SQL over the
// tracks does, on a generated catalogue with the awkward cases in it (artists
// in two cases, tracks without year or genre, several genres and decades).
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

std::string Row(const queries::Track& t) {
    return similarity::Fold(t.artist) + "|" + t.title + "|" + std::to_string(t.score);
}

std::string Row(const queries::Artist& a) {
    return similarity::Fold(a.name) + "|" + std::to_string(a.tracks) + "|" +
           std::to_string(a.sharedGenres) + "|" + std::to_string(a.sharedDecades);
}

class Similarity : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = std::filesystem::path(testing::TempDir()) /
                ("similarity_" + std::to_string(getpid()) + ".sqlite");
        std::filesystem::remove(file_);
        db_ = std::make_unique<Database>(file_.string());
        const char* const genres[] = {"rock", "pop", "rb", "funk", "jazz", "rap", "soul"};
        std::mt19937 random(5);
        Transaction transaction(*db_);
        Statement& track = db_->Prepare("INSERT INTO tracks(path, size, mtime, title, artist, "
                                        "year) VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
        for (int i = 0; i < 3000; ++i) {
            const int artist = static_cast<int>(random() % 150);
            // Every fifth track of an artist names it in upper case.
            std::string name = "Artist " + std::to_string(artist);
            if (i % 5 == 0)
                name = "ARTIST " + std::to_string(artist);
            const int year =
                random() % 8 ? 1950 + artist % 6 * 10 + static_cast<int>(random() % 25) : 0;
            track.Reset().Bind(1, "/m/" + std::to_string(i)).Bind(2, "Title " + std::to_string(i));
            track.Bind(3, name).Bind(4, std::int64_t{year});
            ASSERT_TRUE(track.Step());
            const std::int64_t id = track.Int(0);
            track.Run();
            for (int g = static_cast<int>(random() % 3); g > 0; --g)
                db_->Prepare("INSERT OR IGNORE INTO track_genres VALUES (?, ?)")
                    .Bind(1, id)
                    .Bind(2, genres[(artist + random() % 3) % 7])
                    .Run();
        }
        transaction.Commit();
    }
    void TearDown() override {
        db_.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file_.string() + suffix);
    }

    Answers Ask(queries::Window window) {
        Answers answers;
        for (const auto& [artist, title] : std::vector<std::pair<std::string, std::string>>{
                 {"Artist 7", "Title 1000"},
                 {"artist 12", "nothing of theirs"},
                 {"Artist 99", "title 5"},
                 {"Nobody", "Nothing"},
             })
            for (const auto& t : queries::SimilarTracks(*db_, artist, title, window).rows)
                answers.tracks.push_back(artist + ": " + Row(t));
        for (int a = 0; a < 150; a += 7)
            for (const auto& found :
                 queries::SimilarArtists(*db_, "artist " + std::to_string(a), window).rows)
                answers.artists.push_back(std::to_string(a) + ": " + Row(found));
        for (const char* tag : {"rock", "Soul", "70s", "1980s", "polka"}) {
            const auto found = queries::TopArtists(*db_, tag, window);
            answers.top.push_back(std::string(tag) + " total " + std::to_string(found.total));
            for (const auto& a : found.rows)
                answers.top.push_back(std::string(tag) + ": " + Row(a));
        }
        return answers;
    }

    std::filesystem::path file_;
    std::unique_ptr<Database> db_;
};

TEST_F(Similarity, ListsAnswerAsTheSqlDoes) {
    for (const queries::Window window : {queries::Window{100, 0}, queries::Window{7, 5}}) {
        ASSERT_FALSE(similarity::Ready(*db_));
        const Answers bySql = Ask(window);
        similarity::Recompute(*db_);
        ASSERT_TRUE(similarity::Ready(*db_));
        const Answers listed = Ask(window);
        EXPECT_EQ(listed.tracks, bySql.tracks);
        EXPECT_EQ(listed.artists, bySql.artists);
        EXPECT_EQ(listed.top, bySql.top);
        EXPECT_GT(bySql.tracks.size(), 10u);
        EXPECT_GT(bySql.artists.size(), 10u);
        similarity::Invalidate(*db_);
    }
}

} // namespace
