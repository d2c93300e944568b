// The searches over a small catalogue whose rows the test writes itself.
#include "catalog/Queries.h"
#include "catalog/Database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

class QueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = std::filesystem::path(testing::TempDir()) /
                ("queries_" + std::to_string(getpid()) + ".sqlite");
        std::filesystem::remove(file_);
        db_ = std::make_unique<Database>(file_.string());
        Add("Kiss", "Prince", 1986, {"rb", "funk"});
        Add("When Doves Cry", "Prince", 1984, {"rb"});
        Add("I Wanna Dance With Somebody", "Whitney Houston", 1987, {"rb", "pop"});
        Add("Greatest Love of All", "Whitney Houston", 1985, {"rb"});
        Add("Super Freak", "Rick James", 1981, {"funk", "rb"});
        Add("Walk This Way", "Run-DMC", 1986, {"hiphop"});
        Add("Smells Like Teen Spirit", "Nirvana", 1991, {"rock"});
        Add("Kiss Me", "Sixpence None the Richer", 1997, {"pop"});
        Add("Kiss", "prince", 1986, {"rb"}); // the same track again, other case
    }
    void TearDown() override {
        db_.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file_.string() + suffix);
    }

    void Add(const std::string& title, const std::string& artist, int year,
             const std::vector<std::string>& genres) {
        Statement& insert = db_->Prepare("INSERT INTO tracks(path, size, mtime, title, artist, "
                                         "year) VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
        insert.Bind(1, "/music/" + std::to_string(++count_) + ".mp3").Bind(2, title);
        insert.Bind(3, artist).Bind(4, std::int64_t{year});
        ASSERT_TRUE(insert.Step());
        const std::int64_t id = insert.Int(0);
        insert.Run();
        for (const std::string& genre : genres)
            db_->Prepare("INSERT INTO track_genres VALUES (?, ?)").Bind(1, id).Bind(2, genre).Run();
    }

    static std::vector<std::string> Captions(const queries::Found<queries::Track>& found) {
        std::vector<std::string> captions;
        for (const auto& t : found.rows)
            captions.push_back(t.artist + " - " + t.title);
        return captions;
    }
    static std::vector<std::string> Names(const queries::Found<queries::Artist>& found) {
        std::vector<std::string> names;
        for (const auto& a : found.rows)
            names.push_back(a.name);
        return names;
    }

    std::filesystem::path file_;
    std::unique_ptr<Database> db_;
    int count_ = 0;
};

TEST_F(QueriesTest, TrackSearchNeedsEveryWordInTitleOrArtist) {
    auto found = queries::SearchTracks(*db_, "prince kiss", {100, 0});
    EXPECT_EQ(found.total, 2);
    EXPECT_EQ(Captions(found), (std::vector<std::string>{"Prince - Kiss", "prince - Kiss"}));
    // Words may be the start of a word; all must be there.
    EXPECT_EQ(queries::SearchTracks(*db_, "whit danc", {100, 0}).total, 1);
    EXPECT_EQ(queries::SearchTracks(*db_, "prince spirit", {100, 0}).total, 0);
    // Query syntax in the text is just text.
    for (const char* text : {"\"", "kiss OR", "NEAR(kiss", "*", "-kiss", "kiss:", "AND", ""})
        EXPECT_NO_THROW(queries::SearchTracks(*db_, text, {100, 0})) << text;
    EXPECT_EQ(queries::MatchAllWords("Hip-Hop \"x\""), "\"Hip\"* \"Hop\"* \"x\"*");
}

TEST_F(QueriesTest, BestMatchesComeFirstAndPagesFollowOn) {
    // "kiss" alone is the whole title of two tracks but a part of "Kiss Me".
    const auto all = queries::SearchTracks(*db_, "kiss", {100, 0});
    ASSERT_EQ(all.rows.size(), 3u);
    EXPECT_EQ(all.rows.back().title, "Kiss Me");
    const auto second = queries::SearchTracks(*db_, "kiss", {1, 1});
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(second.total, 3);
    EXPECT_EQ(second.rows[0].artist + second.rows[0].title, all.rows[1].artist + all.rows[1].title);
    EXPECT_TRUE(queries::SearchTracks(*db_, "kiss", {100, 3}).rows.empty());
}

TEST_F(QueriesTest, RetitledAndRemovedTracksLeaveTheIndex) {
    db_->Prepare("UPDATE tracks SET title = 'Purple Rain' WHERE title = 'When Doves Cry'").Run();
    EXPECT_EQ(queries::SearchTracks(*db_, "doves", {100, 0}).total, 0);
    EXPECT_EQ(Captions(queries::SearchTracks(*db_, "purple", {100, 0})),
              (std::vector<std::string>{"Prince - Purple Rain"}));
    db_->Prepare("DELETE FROM tracks WHERE artist = 'Nirvana'").Run();
    Statement& indexed = db_->Prepare("SELECT count(*) FROM tracks_fts WHERE tracks_fts MATCH ?");
    ASSERT_TRUE(indexed.Bind(1, "spirit OR doves").Step());
    EXPECT_EQ(indexed.Int(0), 0);
}

TEST_F(QueriesTest, SimilarTracksSameArtistThenGenresThenDecadeNeverItself) {
    const auto found = queries::SimilarTracks(*db_, "PRINCE", "kiss", {100, 0});
    EXPECT_EQ(Captions(found), (std::vector<std::string>{
                                   "Prince - When Doves Cry",                // same artist
                                   "Rick James - Super Freak",               // rb and funk shared
                                   "Whitney Houston - Greatest Love of All", // rb
                                   "Whitney Houston - I Wanna Dance With Somebody",
                                   "Run-DMC - Walk This Way", // the 80's only
                               }));
    // A track not in the catalogue: the artist's tracks stand for it.
    EXPECT_EQ(queries::SimilarTracks(*db_, "Nirvana", "Unknown", {100, 0}).rows.front().title,
              "Smells Like Teen Spirit");
    EXPECT_TRUE(queries::SimilarTracks(*db_, "Nobody", "Nothing", {100, 0}).rows.empty());
}

TEST_F(QueriesTest, TopArtistsByTracksOfTheGenreOrDecade) {
    EXPECT_EQ(Names(queries::TopArtists(*db_, "R&B", {100, 0})),
              (std::vector<std::string>{"Prince", "Whitney Houston", "Rick James"}));
    EXPECT_EQ(Names(queries::TopArtists(*db_, "Hip Hop", {100, 0})),
              (std::vector<std::string>{"Run-DMC"}));
    EXPECT_EQ(Names(queries::TopArtists(*db_, "hip-hop", {100, 0})),
              (std::vector<std::string>{"Run-DMC"}));
    const auto eighties = queries::TopArtists(*db_, "80's", {100, 0});
    EXPECT_EQ(Names(eighties),
              (std::vector<std::string>{"Prince", "Whitney Houston", "Rick James", "Run-DMC"}));
    EXPECT_EQ(eighties.rows[0].tracks, 3); // both spellings of Prince are one artist
    EXPECT_EQ(Names(queries::TopArtists(*db_, "90's", {1, 1})),
              (std::vector<std::string>{"Sixpence None the Richer"}));
    EXPECT_TRUE(queries::TopArtists(*db_, "&", {100, 0}).rows.empty());
    EXPECT_TRUE(queries::TopArtists(*db_, "Techno", {100, 0}).rows.empty());
}

TEST_F(QueriesTest, SimilarArtistsBySharedGenresThenDecades) {
    const auto found = queries::SimilarArtists(*db_, "prince", {100, 0});
    EXPECT_EQ(Names(found), (std::vector<std::string>{"Rick James", "Whitney Houston", "Run-DMC"}));
    EXPECT_EQ(found.rows[0].sharedGenres, 2);
    EXPECT_EQ(found.rows[2].sharedGenres, 0);
    EXPECT_EQ(found.rows[2].sharedDecades, 1);
    EXPECT_EQ(found.total, 3);
}

} // namespace
