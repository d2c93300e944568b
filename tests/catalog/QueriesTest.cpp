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
        add("Kiss", "Prince", 1986, {"rb", "funk"});
        add("When Doves Cry", "Prince", 1984, {"rb"});
        add("I Wanna Dance With Somebody", "Whitney Houston", 1987, {"rb", "pop"});
        add("Greatest Love of All", "Whitney Houston", 1985, {"rb"});
        add("Super Freak", "Rick James", 1981, {"funk", "rb"});
        add("Walk This Way", "Run-DMC", 1986, {"hiphop"});
        add("Smells Like Teen Spirit", "Nirvana", 1991, {"rock"});
        add("Kiss Me", "Sixpence None the Richer", 1997, {"pop"});
        add("Kiss", "prince", 1986, {"rb"}); // the same track again, other case
    }
    void TearDown() override {
        db_.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file_.string() + suffix);
    }

    void add(const std::string& title, const std::string& artist, int year,
             const std::vector<std::string>& genres) {
        Statement& insert = db_->prepare("INSERT INTO tracks(path, size, mtime, title, artist, "
                                         "year) VALUES (?, 1, 1, ?, ?, ?) RETURNING id");
        insert.bind(1, "/music/" + std::to_string(++count_) + ".mp3").bind(2, title);
        insert.bind(3, artist).bind(4, std::int64_t{year});
        ASSERT_TRUE(insert.step());
        const std::int64_t id = insert.integer(0);
        insert.run();
        for (const std::string& genre : genres)
            db_->prepare("INSERT INTO track_genres VALUES (?, ?)").bind(1, id).bind(2, genre).run();
    }

    static std::vector<std::string> captions(const queries::Found<queries::Track>& found) {
        std::vector<std::string> captions;
        for (const auto& t : found.rows)
            captions.push_back(t.artist + " - " + t.title);
        return captions;
    }
    static std::vector<std::string> names(const queries::Found<queries::Artist>& found) {
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
    auto found = queries::searchTracks(*db_, "prince kiss", {100, 0});
    EXPECT_EQ(found.total, 2);
    EXPECT_EQ(captions(found), (std::vector<std::string>{"Prince - Kiss", "prince - Kiss"}));
    // Words may be the start of a word; all must be there.
    EXPECT_EQ(queries::searchTracks(*db_, "whit danc", {100, 0}).total, 1);
    EXPECT_EQ(queries::searchTracks(*db_, "prince spirit", {100, 0}).total, 0);
    // Query syntax in the text is just text.
    for (const char* text : {"\"", "kiss OR", "NEAR(kiss", "*", "-kiss", "kiss:", "AND", ""})
        EXPECT_NO_THROW(queries::searchTracks(*db_, text, {100, 0})) << text;
    EXPECT_EQ(queries::matchAllWords("Hip-Hop \"x\""), "\"Hip\"* \"Hop\"* \"x\"*");
}

TEST_F(QueriesTest, BestMatchesComeFirstAndPagesFollowOn) {
    // "kiss" alone is the whole title of two tracks but a part of "Kiss Me".
    const auto all = queries::searchTracks(*db_, "kiss", {100, 0});
    ASSERT_EQ(all.rows.size(), 3u);
    EXPECT_EQ(all.rows.back().title, "Kiss Me");
    const auto second = queries::searchTracks(*db_, "kiss", {1, 1});
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(second.total, 3);
    EXPECT_EQ(second.rows[0].artist + second.rows[0].title, all.rows[1].artist + all.rows[1].title);
    EXPECT_TRUE(queries::searchTracks(*db_, "kiss", {100, 3}).rows.empty());
}

TEST_F(QueriesTest, RetitledAndRemovedTracksLeaveTheIndex) {
    db_->prepare("UPDATE tracks SET title = 'Purple Rain' WHERE title = 'When Doves Cry'").run();
    EXPECT_EQ(queries::searchTracks(*db_, "doves", {100, 0}).total, 0);
    EXPECT_EQ(captions(queries::searchTracks(*db_, "purple", {100, 0})),
              (std::vector<std::string>{"Prince - Purple Rain"}));
    db_->prepare("DELETE FROM tracks WHERE artist = 'Nirvana'").run();
    Statement& indexed = db_->prepare("SELECT count(*) FROM tracks_fts WHERE tracks_fts MATCH ?");
    ASSERT_TRUE(indexed.bind(1, "spirit OR doves").step());
    EXPECT_EQ(indexed.integer(0), 0);
}

TEST_F(QueriesTest, SimilarTracksSameArtistThenGenresThenDecadeNeverItself) {
    const auto found = queries::similarTracks(*db_, "PRINCE", "kiss", {100, 0});
    EXPECT_EQ(captions(found), (std::vector<std::string>{
                                   "Prince - When Doves Cry",                // same artist
                                   "Rick James - Super Freak",               // rb and funk shared
                                   "Whitney Houston - Greatest Love of All", // rb
                                   "Whitney Houston - I Wanna Dance With Somebody",
                                   "Run-DMC - Walk This Way", // the 80's only
                               }));
    // A track not in the catalogue: the artist's tracks stand for it.
    EXPECT_EQ(queries::similarTracks(*db_, "Nirvana", "Unknown", {100, 0}).rows.front().title,
              "Smells Like Teen Spirit");
    EXPECT_TRUE(queries::similarTracks(*db_, "Nobody", "Nothing", {100, 0}).rows.empty());
}

TEST_F(QueriesTest, TopArtistsByTracksOfTheGenreOrDecade) {
    EXPECT_EQ(names(queries::topArtists(*db_, "R&B", {100, 0})),
              (std::vector<std::string>{"Prince", "Whitney Houston", "Rick James"}));
    EXPECT_EQ(names(queries::topArtists(*db_, "Hip Hop", {100, 0})),
              (std::vector<std::string>{"Run-DMC"}));
    EXPECT_EQ(names(queries::topArtists(*db_, "hip-hop", {100, 0})),
              (std::vector<std::string>{"Run-DMC"}));
    const auto eighties = queries::topArtists(*db_, "80's", {100, 0});
    EXPECT_EQ(names(eighties),
              (std::vector<std::string>{"Prince", "Whitney Houston", "Rick James", "Run-DMC"}));
    EXPECT_EQ(eighties.rows[0].tracks, 3); // both spellings of Prince are one artist
    EXPECT_EQ(names(queries::topArtists(*db_, "90's", {1, 1})),
              (std::vector<std::string>{"Sixpence None the Richer"}));
    EXPECT_TRUE(queries::topArtists(*db_, "&", {100, 0}).rows.empty());
    EXPECT_TRUE(queries::topArtists(*db_, "Techno", {100, 0}).rows.empty());
}

TEST_F(QueriesTest, SimilarArtistsBySharedGenresThenDecades) {
    const auto found = queries::similarArtists(*db_, "prince", {100, 0});
    EXPECT_EQ(names(found), (std::vector<std::string>{"Rick James", "Whitney Houston", "Run-DMC"}));
    EXPECT_EQ(found.rows[0].sharedGenres, 2);
    EXPECT_EQ(found.rows[2].sharedGenres, 0);
    EXPECT_EQ(found.rows[2].sharedDecades, 1);
    EXPECT_EQ(found.total, 3);
}

} // namespace
