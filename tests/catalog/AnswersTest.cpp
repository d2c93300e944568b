// The answers as the player's own reader sees them: every layout, with names
// that hold markup characters, must come back exactly.
#include "catalog/Answers.h"
#include "search/ResultReaders.h"
#include "search/SearchRequest.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace {

const std::string kHostileArtist = "Evil <Band> & \"Co\" 'x'";
const std::string kHostileTitle = "</name>]]><track>&amp;";

SearchResults read(const std::string& method, const std::string& answer) {
    pugi::xml_document document;
    // The reader's own parse options: no whitespace text, no comments.
    EXPECT_TRUE(document.load_string(answer.c_str(), pugi::parse_default)) << answer;
    SearchResults results;
    readAnswer(method, document, results);
    return results;
}

queries::Found<queries::Track> twoTracks() {
    return {{{kHostileTitle, kHostileArtist, 3000, {}}, {"Kiss", "Prince", 2001, {}}}, 2};
}

queries::Found<queries::Artist> twoArtists() {
    return {{{kHostileArtist, 3, 1, 1}, {"Prince", 1, 0, 2}}, 2};
}

TEST(AnswersTest, TrackSearchRowsAreArtistDashTitle) {
    const SearchResults results =
        read(methods::kTrackSearch, answers::trackSearch("x & <y>", twoTracks(), {2, 100}));
    ASSERT_EQ(results.captions.size(), 2u);
    EXPECT_EQ(results.captions[0], kHostileArtist + " - " + kHostileTitle);
    EXPECT_EQ(results.music[0].artist, kHostileArtist);
    EXPECT_EQ(results.music[0].track, kHostileTitle);
    EXPECT_EQ(results.captions[1], "Prince - Kiss");
}

TEST(AnswersTest, AnEmptyTrackSearchGivesTheOneEmptyRowTheClientReplaces) {
    const SearchResults results =
        read(methods::kTrackSearch, answers::trackSearch("nothing", {}, {1, 100}));
    ASSERT_EQ(results.captions.size(), 1u);
    EXPECT_EQ(results.captions[0], "");
}

TEST(AnswersTest, SimilarTracksCarryTheArtistInItsOwnElement) {
    const SearchResults results =
        read(methods::kTrackGetSimilar, answers::similarTracks("A&B", "<t>", twoTracks()));
    ASSERT_EQ(results.captions.size(), 2u);
    EXPECT_EQ(results.music[0].artist, kHostileArtist);
    EXPECT_EQ(results.music[0].track, kHostileTitle);
    EXPECT_EQ(results.captions[1], "Prince - Kiss");
    EXPECT_TRUE(
        read(methods::kTrackGetSimilar, answers::similarTracks("a", "b", {})).captions.empty());
}

TEST(AnswersTest, ArtistListsGiveOneRowPerArtist) {
    for (const std::string& answer : {answers::topArtists("R&B", twoArtists(), {1, 100}),
                                      answers::similarArtists("Prince", twoArtists())}) {
        for (const char* method : {methods::kTagGetTopArtists, methods::kArtistGetSimilar}) {
            const SearchResults results = read(method, answer);
            ASSERT_EQ(results.captions.size(), 2u);
            EXPECT_EQ(results.captions[0], kHostileArtist);
            EXPECT_EQ(results.music[0].artist, kHostileArtist);
            EXPECT_EQ(results.music[0].track, "");
            EXPECT_EQ(results.captions[1], "Prince");
        }
    }
}

TEST(AnswersTest, VideoEntriesGiveAllFourAddresses) {
    const queries::Found<queries::Video> found{
        {{7, kHostileTitle, kHostileArtist, "mp4", 2}, {8, "Plain", "", "flv", 0}}, 2};
    const std::string service = "http://127.0.0.1:8098";
    const SearchResults results =
        read(methods::kYoutubeSources, answers::videoFeed("a&b", found, 51, 50, service));
    ASSERT_EQ(results.video.size(), 2u);
    EXPECT_EQ(results.captions[0], kHostileTitle);
    EXPECT_EQ(results.video[0].title, kHostileTitle);
    EXPECT_EQ(results.video[0].pageAddress, "http://127.0.0.1:8098/media/7.mp4");
    EXPECT_EQ(results.video[0].playerAddress, "http://127.0.0.1:8098/media/7.mp4?format=5");
    EXPECT_EQ(results.video[0].mobileAddress, "http://127.0.0.1:8098/media/7.mp4?format=1");
    EXPECT_EQ(results.video[1].pageAddress, "http://127.0.0.1:8098/media/8.flv");
    EXPECT_TRUE(read(methods::kYoutubeSources, answers::videoFeed("x", {}, 1, 50, service))
                    .captions.empty());
}

TEST(AnswersTest, FailuresAreWellFormedAndReadAsNoRows) {
    const std::string failure = answers::failure(6, "bad <input> & more");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(failure.c_str()));
    EXPECT_STREQ(document.child("lfm").attribute("status").value(), "failed");
    EXPECT_STREQ(document.child("lfm").child("error").text().get(), "bad <input> & more");
    EXPECT_TRUE(read(methods::kTagGetTopArtists, failure).captions.empty());
}

} // namespace
