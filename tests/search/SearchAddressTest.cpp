#include "search/SearchAddress.h"
#include "platform/Download.h"
#include "search/MenuVisibility.h"

#include <gtest/gtest.h>

namespace {
const std::string kHost = "search.example:8080";

std::string address(const SearchRequest& request, int page) {
    return searchAddress(request, page, kHost);
}
} // namespace

TEST(SearchAddress, BuildsEachMethodsPathWithTheArgumentsAsTheyAre) {
    EXPECT_EQ(address({"track.search", "Hello World", "x", "y"}, 1),
              "http://search.example:8080/api/music/"
              "?method=track.search&limit=100&track=Hello World&page=1");
    EXPECT_EQ(address({"track.getSimilar", "", "Cher", "Believe"}, 2),
              "http://search.example:8080/api/music/"
              "?method=track.getSimilar&limit=100&artist=Cher&track=Believe&page=2");
    EXPECT_EQ(address({"tag.getTopArtists", "R&B", "", ""}, 1),
              "http://search.example:8080/api/music/"
              "?method=tag.gettopartists&limit=100&tag=R&B&page=1");
    EXPECT_EQ(address({"artist.getSimilar", "", "Sonny & Cher", ""}, 3),
              "http://search.example:8080/api/music/"
              "?method=artist.getSimilar&limit=100&artist=Sonny & Cher&page=3");
}

TEST(SearchAddress, VideoPagesGiveTheIndexOfTheirFirstResult) {
    const std::string prefix = "http://search.example:8080/api/video/?vq=Cher Believe";
    EXPECT_EQ(address({"youtube.sources", "Cher Believe", "", ""}, 1),
              prefix + "&max-results=50&start-index=1");
    EXPECT_EQ(address({"youtube.sources", "Cher Believe", "", ""}, 2),
              prefix + "&max-results=50&start-index=51");
    EXPECT_EQ(address({"youtube.sources", "Cher Believe", "", ""}, 3),
              prefix + "&max-results=50&start-index=101");
}

TEST(SearchAddress, MethodNamesCompareExactly) {
    EXPECT_EQ(address({"", "x", "", ""}, 1), "");
    EXPECT_EQ(address({"Track.search", "x", "", ""}, 1), "");
    EXPECT_EQ(address({"tag.gettopartists", "x", "", ""}, 1), "");
    EXPECT_FALSE(menuVisibilityFor("tag.gettopartists").has_value());
}

TEST(SearchAddress, AHashInATextStaysInTheQuery) {
    // Service addresses carry no fragment: a "#" of a search text must not cut
    // the page key off the query.
    EXPECT_EQ(escapeFragmentMarks(address({"track.search", "C# Minor", "", ""}, 1)),
              "http://search.example:8080/api/music/"
              "?method=track.search&limit=100&track=C%23 Minor&page=1");
}

TEST(SearchAddress, APlusOfATextIsSentEscapedForTheServiceReadsPlusAsABlank) {
    EXPECT_EQ(address({"track.search", "C+C Music", "", ""}, 1),
              "http://search.example:8080/api/music/"
              "?method=track.search&limit=100&track=C%2BC Music&page=1");
    EXPECT_EQ(address({"track.getSimilar", "", "A+B", "C++"}, 1),
              "http://search.example:8080/api/music/"
              "?method=track.getSimilar&limit=100&artist=A%2BB&track=C%2B%2B&page=1");
    EXPECT_EQ(escapeAddress(address({"youtube.sources", "1+1", "", ""}, 1)),
              "http://search.example:8080/api/video/?vq=1%2B1&max-results=50&start-index=1");
}

TEST(SearchAddress, QueryFileIsNamedAfterTheMethod) {
    EXPECT_EQ(queryFilePath("/home/u/.local/share/Kolvadeck/", "track.search"),
              "/home/u/.local/share/Kolvadeck/queries/track.search.xml");
}

TEST(MenuVisibility, TrackRowsOfferAllCommandsArtistRowsOnlySimilarArtists) {
    const auto tracks = menuVisibilityFor("track.getSimilar").value();
    EXPECT_TRUE(tracks.sources && tracks.similarTracks && tracks.similarArtists);
    const auto artists = menuVisibilityFor("tag.getTopArtists").value();
    EXPECT_FALSE(artists.sources || artists.similarTracks);
    EXPECT_TRUE(artists.similarArtists);
    const auto videos = menuVisibilityFor("youtube.sources").value();
    EXPECT_FALSE(videos.sources || videos.similarTracks || videos.similarArtists);
}

TEST(EscapeAddress, EscapesOnlyWhatCannotStandInAnAddress) {
    EXPECT_EQ(escapeAddress("http://h/?tag=Hip Hop&page=1"), "http://h/?tag=Hip%20Hop&page=1");
    EXPECT_EQ(escapeAddress("http://h/?tag=R&B&x=a=b?#frag"), "http://h/?tag=R&B&x=a=b?#frag");
    EXPECT_EQ(escapeAddress("http://h/?q=Bj\xC3\xB6rk"), "http://h/?q=Bj%C3%B6rk");
    EXPECT_EQ(escapeAddress("a\tb\x7F\"<>\\^`{|}"), "a%09b%7F%22%3C%3E%5C%5E%60%7B%7C%7D");
    EXPECT_EQ(escapeAddress("100% %41 %4"), "100%25%20%41%20%254");
    EXPECT_EQ(escapeAddress("plain-text_~.!*'()+,;:@/?"), "plain-text_~.!*'()+,;:@/?");
}
