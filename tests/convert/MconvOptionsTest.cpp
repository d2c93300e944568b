#include "tools/MconvOptions.h"
#include "convert/CommandLine.h"
#include "convert/ConversionFormats.h"

#include <gtest/gtest.h>

#include <algorithm>

using Args = std::vector<std::string>;

namespace {
Args translate(const Args& arguments) {
    return translateMconvArguments(arguments);
}
// The broadcast's converter line is one parameter string.
Args translate(const std::string& parameters) {
    return translateMconvArguments(splitCommandLine(parameters));
}

// The value given to `option` in the output part (after the last input).
std::string outputValue(const Args& args, const std::string& option) {
    const auto lastInput = std::find(args.rbegin(), args.rend(), "-i").base();
    const auto at = std::find(lastInput + 1, args.end(), option);
    return at != args.end() && at + 1 != args.end() ? *(at + 1) : "<absent>";
}

bool has(const Args& args, const std::string& word) {
    return std::find(args.begin(), args.end(), word) != args.end();
}

const Args kPrefix = {"-nostdin", "-hide_banner", "-loglevel", "error"};

Args withPrefix(const Args& rest) {
    Args all = kPrefix;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}
} // namespace

TEST(MconvOptionsTest, Mp3ConversionGetsKilobitsAndNoStandardInput) {
    EXPECT_EQ(translate(converterArguments(ConversionFormat::MP3, "/m/song.mp3")),
              withPrefix({"-y", "-i", "/m/song.mp3.flv", "-ar", "44100", "-b:a", "196k", "-ac", "2",
                          "/m/song.mp3"}));
}

TEST(MconvOptionsTest, VideoConversionsUseTheModernForms) {
    const Args mp4 = translate(converterArguments(ConversionFormat::MP4, "/m/v.mp4"));
    EXPECT_EQ(outputValue(mp4, "-vf"), "yadif");
    EXPECT_EQ(outputValue(mp4, "-b:v"), "220k");
    EXPECT_EQ(outputValue(mp4, "-q:v"), "6");
    EXPECT_EQ(outputValue(mp4, "-s"), "320x240");
    EXPECT_EQ(outputValue(mp4, "-r"), "10");
    EXPECT_EQ(outputValue(mp4, "-ar"), "44100");
    EXPECT_EQ(mp4.back(), "/m/v.mp4");
    for (const char* legacy : {"-deinterlace", "-b", "-qscale", "-ab"})
        EXPECT_FALSE(has(mp4, legacy)) << legacy;
    EXPECT_FALSE(has(mp4, "-shortest"));

    const Args flv = translate(converterArguments(ConversionFormat::FLV, "/m/v.flv"));
    EXPECT_EQ(outputValue(flv, "-b:a"), "96k"); // already with a unit: unchanged
    EXPECT_EQ(outputValue(flv, "-f"), "flv");
    EXPECT_EQ(outputValue(flv, "-ar"), "22050");
    EXPECT_EQ(Args(flv.begin(), flv.begin() + 7), withPrefix({"-y", "-i", "/m/v.flv.flv"}));
}

TEST(MconvOptionsTest, BroadcastKeepsInputOptionsBeforeTheirInputAndEndsWithTheSound) {
    const std::string parameters =
        " -loop_input -re -i \"/d/video.jpg\" -f s16le -ar 22050 -ab 96k -ac 2 -i "
        "\"tcp://127.0.0.1:8099/\" -deinterlace -s 320x240 -r 10 -b 220k -qscale 6 -ar 22050 "
        "-ab 96k -f flv \"rtmp://live.example/live/show\"";
    const Args args = translate(parameters);
    const Args inputs = {"-loop", "1",   "-re", "-i", "/d/video.jpg",         "-f", "s16le", "-ar",
                         "22050", "-ac", "2",   "-i", "tcp://127.0.0.1:8099/"};
    EXPECT_TRUE(std::search(args.begin(), args.end(), inputs.begin(), inputs.end()) != args.end());
    EXPECT_EQ(outputValue(args, "-b:a"), "96k");
    EXPECT_EQ(std::count(args.begin(), args.end(), "-b:a"), 1);
    EXPECT_EQ(outputValue(args, "-f"), "flv");
    EXPECT_EQ(outputValue(args, "-vf"), "yadif");
    EXPECT_TRUE(has(args, "-shortest"));
    EXPECT_FALSE(has(args, "-y"));
    EXPECT_EQ(args.back(), "rtmp://live.example/live/show");
}

TEST(MconvOptionsTest, BareBitRatesAreKilobitsAnywhere) {
    EXPECT_EQ(outputValue(translateMconvArguments({"-i", "a", "-ab", "128", "o.mp3"}), "-b:a"),
              "128k");
    // Before an input it still meant the output.
    const Args early = translateMconvArguments({"-ab", "64", "-i", "a", "o.mp3"});
    EXPECT_EQ(early, withPrefix({"-i", "a", "-b:a", "64k", "o.mp3"}));
    // A looped picture alone needs no -shortest.
    EXPECT_FALSE(
        has(translateMconvArguments({"-loop_input", "-i", "p.jpg", "o.flv"}), "-shortest"));
}

TEST(MconvOptionsTest, AnythingUnknownOrIncompleteIsRefused) {
    const std::vector<Args> refused = {
        {"-i", "a", "-vcodec", "copy", "o.mp4"}, // not a legacy option of ours
        {"-i", "a", "--help", "o.mp4"},
        {"-i", "a", "-filter_complex", "x", "o.mp4"},
        {"-i", "a", "-ar"},            // missing value
        {"-i"},                        // missing value
        {"-i", "a"},                   // no output
        {"-y", "o.mp3"},               // no input
        {"-i", "a", "o.mp3", "-y"},    // something after the output
        {"-i", "a", "o.mp3", "p.mp3"}, // two outputs
        {"-i", "a", "-"},              // standard output
        {"-i", "a", ""},
    };
    for (const Args& legacy : refused)
        EXPECT_THROW(translateMconvArguments(legacy), MconvError)
            << ::testing::PrintToString(legacy);
    try {
        translateMconvArguments({"-i", "a", "-vcodec", "copy", "o"});
    } catch (const MconvError& error) {
        EXPECT_STREQ(error.what(), "unknown option -vcodec");
    }
}
