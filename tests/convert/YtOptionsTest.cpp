#include "tools/YtOptions.h"
#include "convert/ConversionFormats.h"

#include <gtest/gtest.h>

#include <algorithm>

using Args = std::vector<std::string>;

TEST(YtOptionsTest, ReadsTheProgramsParameters) {
    const YtRequest request =
        parseYtArguments(downloaderArguments("/m/A b.mp3", "https://v.example/watch?v=1&t=2"));
    EXPECT_EQ(request.userAgent, "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1;)");
    EXPECT_EQ(request.output, "/m/A b.mp3.flv");
    EXPECT_EQ(request.address, "https://v.example/watch?v=1&t=2");
}

TEST(YtOptionsTest, AddressGoesLastAfterTheEndOfOptionsAndTheOutputIsLiteral) {
    const Args args = ytDlpArguments({"UA", "/m/100% pure.mp3.flv", "http://v.example/w"});
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(args[args.size() - 2], "--");
    EXPECT_EQ(args.back(), "http://v.example/w");
    const auto output = std::find(args.begin(), args.end(), "--output");
    ASSERT_NE(output, args.end());
    EXPECT_EQ(*(output + 1), "/m/100%% pure.mp3.flv");
    for (const char* needed :
         {"--force-overwrites", "--ignore-config", "--no-playlist", "--no-part"})
        EXPECT_NE(std::find(args.begin(), args.end(), needed), args.end()) << needed;
    EXPECT_NE(std::find(args.begin(), args.end(), "UA"), args.end());
}

TEST(YtOptionsTest, HostilePageAddressesAreRefused) {
    for (const std::string address :
         {"-o", "--exec=touch /tmp/owned", "-", "--batch-file=/etc/passwd", "file:///etc/passwd",
          "FILE:///etc/passwd", "/etc/passwd", "etc/passwd", "~/.netrc", "ftp://v.example/a",
          "http://", "http:///etc/passwd", "http://v.example/a b", "http://v.example/a\"b",
          "http://v.example/\na", ""}) {
        const Args arguments = {"--user-agent", "UA", "-o", "/t/x.flv", address};
        EXPECT_THROW(parseYtArguments(arguments), YtError) << address;
        EXPECT_THROW(parseYtArguments({"-o", "/t/x.flv", "--", address}), YtError) << address;
    }
    for (const std::string address : {"http://v.example/watch?v=1", "HTTPS://V.EXAMPLE/a-b",
                                      "http://127.0.0.1:8080/media/clip.mp4"})
        EXPECT_EQ(parseYtArguments({"-o", "/t/x.flv", address}).address, address);
}

TEST(YtOptionsTest, IncompleteOrUnknownArgumentsAreRefused) {
    const std::vector<Args> refused = {
        {"http://v.example/a"}, // no output
        {"-o", "/t/x.flv"},     // no address
        {"-o", "/t/x.flv", "http://v.example/a", "http://v.example/b"},
        // A quote in the address let these follow it: nothing may.
        {"-o", "/t/x.flv", "http://v.example/a", "-o", "/home/dj/.profile"},
        {"-o", "/t/x.flv", "-o", "/home/dj/.profile", "http://v.example/a"},
        {"-o", "/t/x.flv", "http://v.example/a", "--", "http://v.example/b"},
        {"-o", "-", "http://v.example/a"},                      // standard output
        {"-o", "/t/x.flv", "--user-agent"},                     // missing value
        {"-f", "best", "-o", "/t/x.flv", "http://v.example/a"}, // not ours
    };
    for (const Args& arguments : refused)
        EXPECT_THROW(parseYtArguments(arguments), YtError) << ::testing::PrintToString(arguments);
}
