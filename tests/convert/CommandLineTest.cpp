#include "convert/CommandLine.h"
#include "convert/ConversionFormats.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(CommandLineTest, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(SplitCommandLine(" -y -i \"my song.mp3.flv\"  -ar\t44100 \"my song.mp3\""),
              (Args{"-y", "-i", "my song.mp3.flv", "-ar", "44100", "my song.mp3"}));
    EXPECT_EQ(SplitCommandLine("\"abc\" d e"), (Args{"abc", "d", "e"}));
    // A quoted part inside a longer argument.
    EXPECT_EQ(SplitCommandLine("d\"e f\"g h"), (Args{"de fg", "h"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine("a \"b c"), (Args{"a", "b c"}));
}

TEST(CommandLineTest, EmptyArgumentsComeOnlyFromQuotes) {
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine("   \t "), Args{});
    EXPECT_EQ(SplitCommandLine("\"\""), Args{""});
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (Args{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine("-o \"\" \"\""), (Args{"-o", "", ""}));
}

TEST(CommandLineTest, BackslashesFollowTheDocumentedRules) {
    // Not before a quote: literal.
    EXPECT_EQ(SplitCommandLine(R"(a\\b c\d)"), (Args{R"(a\\b)", R"(c\d)"}));
    // An odd run before a quote: half of them, then a literal quote.
    EXPECT_EQ(SplitCommandLine(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(\"x\")"), (Args{R"("x")"}));
    // An even run before a quote: half of them, and the quote opens or closes.
    EXPECT_EQ(SplitCommandLine(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(SplitCommandLine(R"("C:\Music\" next)"), (Args{R"(C:\Music" next)"}));
    EXPECT_EQ(SplitCommandLine(R"("C:\Music\\" next)"), (Args{R"(C:\Music\)", "next"}));
}

TEST(CommandLineTest, ValuesThatWouldBreakOutOfTheirQuotesAreRecognised) {
    // A page address holding a double quote would add arguments of its own.
    const std::string hostile = "http://v.example/x\" -o \"/home/dj/.bashrc";
    EXPECT_EQ(SplitCommandLine("-o \"T\" \"" + hostile + "\"").size(), 5u);
    EXPECT_FALSE(FitsBetweenQuotes(hostile));
    // A trailing backslash escapes the closing quote.
    EXPECT_EQ(SplitCommandLine("\"/t/a\\\"").back(), "/t/a\"");
    EXPECT_FALSE(FitsBetweenQuotes("/t/a\\"));
    EXPECT_TRUE(FitsBetweenQuotes("/t/a\\b c.mp3"));
    EXPECT_TRUE(FitsBetweenQuotes(""));
    EXPECT_TRUE(FitsBetweenQuotes("http://v.example/watch?v=one&list=-x"));
}

TEST(ConversionFormatsTest, ToolArgumentsAreExactlyTheDesignedOnes) {
    EXPECT_EQ(ConverterArguments(ConversionFormat::MP3, "/m/my song.mp3"),
              (Args{"-y", "-i", "/m/my song.mp3.flv", "-ar", "44100", "-ab", "196", "-ac", "2",
                    "/m/my song.mp3"}));
    EXPECT_EQ(ConverterArguments(ConversionFormat::MP4, "T"),
              (Args{"-y", "-i", "T.flv", "-deinterlace", "-s", "320x240", "-r", "10", "-b", "220k",
                    "-qscale", "6", "-ar", "44100", "T"}));
    EXPECT_EQ(ConverterArguments(ConversionFormat::FLV, "T"),
              (Args{"-y", "-i", "T.flv", "-deinterlace", "-s", "320x240", "-r", "10", "-b", "220k",
                    "-qscale", "6", "-ar", "22050", "-ab", "96k", "-f", "flv", "T"}));
    EXPECT_EQ(DownloaderArguments("T", "P"),
              (Args{"--user-agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1;)", "-o",
                    "T.flv", "P"}));
    EXPECT_EQ(IntermediateFile("clip.flv"), "clip.flv.flv");
    EXPECT_STREQ(DialogSettingsFor(ConversionFormat::MP4).pattern, "*.mp4");
    EXPECT_STREQ(DialogSettingsFor(ConversionFormat::FLV).extension, "flv");
    EXPECT_STREQ(DialogSettingsFor(ConversionFormat::MP3).pattern, "*.mp3");
}
