#include "search/Base64.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Base64Decode, DecodesTheStoredSchemePrefix) {
    EXPECT_EQ(base64Decode("aHR0cDovLz=="), "http://");
    EXPECT_EQ(trimRight(base64Decode("aHR0cDovLz==")), "http://");
}

TEST(Base64Decode, PaddingDecidesTheLengthOfTheLastGroup) {
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("Lz=="), "/");
    EXPECT_EQ(base64Decode("TWE="), "Ma");
    EXPECT_EQ(base64Decode("TWFu"), "Man");
    EXPECT_EQ(base64Decode("TWFuTWE="), "ManMa");
}

TEST(Base64Decode, StrayCharactersAndInnerPaddingCountAsSixtyThree) {
    // "/" is 63 in the standard alphabet; "*" and an "=" that is not in the
    // last group take the same value.
    EXPECT_EQ(base64Decode("////"), base64Decode("****"));
    EXPECT_EQ(base64Decode("=///TWFu"), base64Decode("////TWFu"));
}

TEST(Base64Decode, RejectsLengthsThatAreNotMultiplesOfFour) {
    for (const char* text : {"abc", "a", "aHR0cDovLz="}) {
        try {
            base64Decode(text);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Base64: Incorrect string format");
        }
    }
}

TEST(TrimRight, RemovesTrailingBlanksAndControlCharactersOnly) {
    EXPECT_EQ(trimRight("host.example\r\n \t"), "host.example");
    EXPECT_EQ(trimRight("  a b  "), "  a b");
    EXPECT_EQ(trimRight(std::string("x\0", 2)), "x");
    EXPECT_EQ(trimRight(""), "");
}
