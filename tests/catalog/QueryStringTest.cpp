#include "catalog/QueryString.h"

#include <gtest/gtest.h>

namespace {

std::optional<QueryString> Music(const std::string& raw) {
    return QueryString::Parse(raw, {"method", "limit", "page", "track", "artist", "tag"});
}

TEST(QueryStringTest, AValueSplitByABareAmpersandIsJoinedBack) {
    auto q = Music("method=tag.gettopartists&limit=100&tag=R&B&page=1");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("tag"), "R&B");
    EXPECT_EQ(q->Get("page"), "1");
    EXPECT_EQ(q->Get("method"), "tag.gettopartists");

    q = Music("method=track.getSimilar&limit=100&artist=Earth, Wind & Fire&track=Let's "
              "Groove&page=2");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("artist"), "Earth, Wind & Fire");
    EXPECT_EQ(q->Get("track"), "Let's Groove");

    // Pieces with "=" whose name is no parameter belong to the value too.
    q = Music("method=track.search&track=a&b=c&&d&page=3");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("track"), "a&b=c&&d");
    EXPECT_EQ(q->Number("page", 1, 1, 10), 3);
}

TEST(QueryStringTest, ValuesAreDecodedAsFormDataWherePlusIsABlank) {
    const auto q = Music("method=tag.gettopartists&tag=Hip%20Hop&artist=C+C%2BMusic+&track=%C3%A9");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("tag"), "Hip Hop");
    EXPECT_EQ(q->Get("artist"), "C C+Music ");
    EXPECT_EQ(q->Get("track"), "\xC3\xA9");
}

TEST(QueryStringTest, BrokenEscapesAndNulBytesAreMalformed) {
    EXPECT_FALSE(Music("method=track.search&track=%zz&page=1"));
    EXPECT_FALSE(Music("method=track.search&track=50%"));
    EXPECT_FALSE(Music("method=track.search&track=%4"));
    EXPECT_FALSE(Music("method=track.search&track=a%00b"));
    EXPECT_TRUE(Music(""));
}

TEST(QueryStringTest, NumbersAreCheckedAgainstTheirRange) {
    const auto q = Music("page=2&limit=abc&track=-5&artist=99999999999999999999999&tag=");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Number("page", 1, 1, 100), 2);
    EXPECT_FALSE(q->Number("limit", 100, 1, 1000));
    EXPECT_FALSE(q->Number("track", 1, 0, 100));
    EXPECT_FALSE(q->Number("artist", 1, 0, 1000000000)); // overflow
    EXPECT_EQ(q->Number("tag", 7, 1, 10), 7);            // empty: the default
    EXPECT_EQ(q->Number("method", 9, 1, 10), 9);         // missing: the default
}

TEST(QueryStringTest, TextBeforeTheFirstParameterIsIgnoredAndTheLaterOfTwoWins) {
    const auto q = Music("junk&x=1&track=a&page=2&page=1");
    ASSERT_TRUE(q);
    EXPECT_FALSE(q->Has("x"));
    EXPECT_EQ(q->Get("track"), "a");
    EXPECT_EQ(q->Get("page"), "1");
}

} // namespace
