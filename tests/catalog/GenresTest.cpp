#include "catalog/Genres.h"

#include <gtest/gtest.h>

namespace {

TEST(GenresTest, KeysIgnoreCaseBlanksAndPunctuation) {
    EXPECT_EQ(genres::key("Hip Hop"), "hiphop");
    EXPECT_EQ(genres::key("Hip-Hop"), genres::key("hip hop"));
    EXPECT_EQ(genres::key("R&B"), "rb");
    EXPECT_EQ(genres::key("U.S."), genres::key("us"));
    EXPECT_EQ(genres::key("Hard Rock"), genres::key("Hardrock"));
    EXPECT_EQ(genres::key("Électro"), "\xC3\x89lectro"); // non-ASCII kept as is
    EXPECT_EQ(genres::key("&/ -"), "");
}

TEST(GenresTest, AFieldMayNameSeveralGenres) {
    EXPECT_EQ(genres::keysOfField("Rock/Pop; Hip-Hop, rock"),
              (std::vector<std::string>{"rock", "pop", "hiphop"}));
    EXPECT_EQ(genres::keysOfField("R&B"), (std::vector<std::string>{"rb"}));
    EXPECT_TRUE(genres::keysOfField(" ; / ").empty());
}

TEST(GenresTest, DecadeTagsStandForTenYears) {
    for (const auto& [tag, first] : std::vector<std::pair<std::string, int>>{{"60's", 1960},
                                                                             {"70's", 1970},
                                                                             {"80's", 1980},
                                                                             {"90's", 1990},
                                                                             {"80s", 1980},
                                                                             {"1990s", 1990},
                                                                             {"00's", 2000},
                                                                             {"2010s", 2010}}) {
        const auto years = genres::decadeOfTag(tag);
        ASSERT_TRUE(years) << tag;
        EXPECT_EQ(years->first, first) << tag;
        EXPECT_EQ(years->last, first + 9) << tag;
    }
    for (const std::string tag : {"80", "1984", "85's", "Rock", "U.S.", "'s", "s", "9's", ""})
        EXPECT_FALSE(genres::decadeOfTag(tag)) << tag;
}

} // namespace
