#include "catalog/QueryString.h"

#include <gtest/gtest.h>

namespace {

std::optional<QueryString> music(const std::string& raw) {
    return QueryString::parse(raw, {"method", "limit", "page", "track", "artist", "tag"});
}

TEST(QueryStringTest, AValueSplitByABareAmpersandIsJoinedBack) {
    auto q = music("method=tag.gettopartists&limit=100&tag=R&B&page=1");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->get("tag"), "R&B");
    EXPECT_EQ(q->get("page"), "1");
    EXPECT_EQ(q->get("method"), "tag.gettopartists");

    q = music("method=track.getSimilar&limit=100&artist=Earth, Wind & Fire&track=Let's "
              "Groove&page=2");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->get("artist"), "Earth, Wind & Fire");
    EXPECT_EQ(q->get("track"), "Let's Groove");

    // Pieces with "=" whose name is no parameter belong to the value too.
    q = music("method=track.search&track=a&b=c&&d&page=3");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->get("track"), "a&b=c&&d");
    EXPECT_EQ(q->number("page", 1, 1, 10), 3);
}

TEST(QueryStringTest, ValuesAreDecodedAsFormDataWherePlusIsABlank) {
    const auto q = music("method=tag.gettopartists&tag=Hip%20Hop&artist=C+C%2BMusic+&track=%C3%A9");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->get("tag"), "Hip Hop");
    EXPECT_EQ(q->get("artist"), "C C+Music ");
    EXPECT_EQ(q->get("track"), "\xC3\xA9");
}

TEST(QueryStringTest, BrokenEscapesAndNulBytesAreMalformed) {
    EXPECT_FALSE(music("method=track.search&track=%zz&page=1"));
    EXPECT_FALSE(music("method=track.search&track=50%"));
    EXPECT_FALSE(music("method=track.search&track=%4"));
    EXPECT_FALSE(music("method=track.search&track=a%00b"));
    EXPECT_TRUE(music(""));
}

TEST(QueryStringTest, NumbersAreCheckedAgainstTheirRange) {
    const auto q = music("page=2&limit=abc&track=-5&artist=99999999999999999999999&tag=");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->number("page", 1, 1, 100), 2);
    EXPECT_FALSE(q->number("limit", 100, 1, 1000));
    EXPECT_FALSE(q->number("track", 1, 0, 100));
    EXPECT_FALSE(q->number("artist", 1, 0, 1000000000)); // overflow
    EXPECT_EQ(q->number("tag", 7, 1, 10), 7);            // empty: the default
    EXPECT_EQ(q->number("method", 9, 1, 10), 9);         // missing: the default
}

TEST(QueryStringTest, TextBeforeTheFirstParameterIsIgnoredAndTheLaterOfTwoWins) {
    const auto q = music("junk&x=1&track=a&page=2&page=1");
    ASSERT_TRUE(q);
    EXPECT_FALSE(q->has("x"));
    EXPECT_EQ(q->get("track"), "a");
    EXPECT_EQ(q->get("page"), "1");
}

} // namespace
