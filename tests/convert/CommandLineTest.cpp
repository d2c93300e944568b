#include "convert/CommandLine.h"
#include "convert/ConversionFormats.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(CommandLineTest, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(splitCommandLine(" -y -i \"my song.mp3.flv\"  -ar\t44100 \"my song.mp3\""),
              (Args{"-y", "-i", "my song.mp3.flv", "-ar", "44100", "my song.mp3"}));
    EXPECT_EQ(splitCommandLine("\"abc\" d e"), (Args{"abc", "d", "e"}));
    // A quoted part inside a longer argument.
    EXPECT_EQ(splitCommandLine("d\"e f\"g h"), (Args{"de fg", "h"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(splitCommandLine("a \"b c"), (Args{"a", "b c"}));
}

TEST(CommandLineTest, EmptyArgumentsComeOnlyFromQuotes) {
    EXPECT_EQ(splitCommandLine(""), Args{});
    EXPECT_EQ(splitCommandLine("   \t "), Args{});
    EXPECT_EQ(splitCommandLine("\"\""), Args{""});
    EXPECT_EQ(splitCommandLine("a \"\" b"), (Args{"a", "", "b"}));
    EXPECT_EQ(splitCommandLine("-o \"\" \"\""), (Args{"-o", "", ""}));
}

TEST(CommandLineTest, BackslashesFollowTheDocumentedRules) {
    // Not before a quote: literal.
    EXPECT_EQ(splitCommandLine(R"(a\\b c\d)"), (Args{R"(a\\b)", R"(c\d)"}));
    // An odd run before a quote: half of them, then a literal quote.
    EXPECT_EQ(splitCommandLine(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(splitCommandLine(R"(\"x\")"), (Args{R"("x")"}));
    // An even run before a quote: half of them, and the quote opens or closes.
    EXPECT_EQ(splitCommandLine(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(splitCommandLine(R"("C:\Music\" next)"), (Args{R"(C:\Music" next)"}));
    EXPECT_EQ(splitCommandLine(R"("C:\Music\\" next)"), (Args{R"(C:\Music\)", "next"}));
}

TEST(CommandLineTest, ValuesThatWouldBreakOutOfTheirQuotesAreRecognised) {
    // A page address holding a double quote would add arguments of its own.
    const std::string hostile = "http://v.example/x\" -o \"/home/dj/.bashrc";
    EXPECT_EQ(splitCommandLine("-o \"T\" \"" + hostile + "\"").size(), 5u);
    EXPECT_FALSE(fitsBetweenQuotes(hostile));
    // A trailing backslash escapes the closing quote.
    EXPECT_EQ(splitCommandLine("\"/t/a\\\"").back(), "/t/a\"");
    EXPECT_FALSE(fitsBetweenQuotes("/t/a\\"));
    EXPECT_TRUE(fitsBetweenQuotes("/t/a\\b c.mp3"));
    EXPECT_TRUE(fitsBetweenQuotes(""));
    EXPECT_TRUE(fitsBetweenQuotes("http://v.example/watch?v=one&list=-x"));
}

TEST(ConversionFormatsTest, ToolArgumentsAreExactlyTheDesignedOnes) {
    EXPECT_EQ(converterArguments(ConversionFormat::MP3, "/m/my song.mp3"),
              (Args{"-y", "-i", "/m/my song.mp3.flv", "-ar", "44100", "-ab", "196", "-ac", "2",
                    "/m/my song.mp3"}));
    EXPECT_EQ(converterArguments(ConversionFormat::MP4, "T"),
              (Args{"-y", "-i", "T.flv", "-deinterlace", "-s", "320x240", "-r", "10", "-b", "220k",
                    "-qscale", "6", "-ar", "44100", "T"}));
    EXPECT_EQ(converterArguments(ConversionFormat::FLV, "T"),
              (Args{"-y", "-i", "T.flv", "-deinterlace", "-s", "320x240", "-r", "10", "-b", "220k",
                    "-qscale", "6", "-ar", "22050", "-ab", "96k", "-f", "flv", "T"}));
    EXPECT_EQ(downloaderArguments("T", "P"),
              (Args{"--user-agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1;)", "-o",
                    "T.flv", "P"}));
    EXPECT_EQ(intermediateFile("clip.flv"), "clip.flv.flv");
    EXPECT_STREQ(dialogSettingsFor(ConversionFormat::MP4).pattern, "*.mp4");
    EXPECT_STREQ(dialogSettingsFor(ConversionFormat::FLV).extension, "flv");
    EXPECT_STREQ(dialogSettingsFor(ConversionFormat::MP3).pattern, "*.mp3");
}
