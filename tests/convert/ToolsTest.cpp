// The real yt and mconv executables, as the program starts them.
#include "../search/LoopbackServer.h"
#include "Media.h"
#include "convert/CommandLine.h"
#include "convert/ConversionFormats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
const std::string kYt = KV_BINARY_DIR "/app/yt";
const std::string kMconv = KV_BINARY_DIR "/app/mconv";

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(testClip().empty()) << "ffmpeg could not make the test clip";
        folder_ = fs::path(testing::TempDir()) / ("tools_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        server_.serve("/media/clip.mp4", {200, "video/mp4", readFile(testClip()), {}});
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string clipAddress() const { return "http://" + server_.host() + "/media/clip.mp4"; }

    LoopbackServer server_;
    fs::path folder_;
};
} // namespace

TEST_F(ToolsTest, YtWritesExactlyTheFileAfterOReplacingAnOldOne) {
    const std::string target = (folder_ / "my clip.mp3").string();
    std::ofstream(intermediateFile(target)) << "left over";
    std::string errors;
    EXPECT_EQ(runProgram(kYt, downloaderArguments(target, clipAddress()), &errors), 0) << errors;
    EXPECT_EQ(filesIn(folder_), std::vector<std::string>{"my clip.mp3.flv"});
    const auto video = streamOf(probe(intermediateFile(target)), "video");
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(video.width, 320);
}

TEST_F(ToolsTest, YtRefusesHostilePageAddresses) {
    const fs::path marker = folder_ / "marker";
    const std::string target = (folder_ / "x.mp3").string();
    const std::vector<std::string> hostile = {
        // Quotes in the address break out of the program's quoting.
        clipAddress() + "\" --exec \"touch " + marker.string(),
        clipAddress() + "\" -o \"" + marker.string(),
        "--exec=touch " + marker.string(),
        "-o",
        "file://" + testClip(),
        testClip(),
        "--batch-file=" + testClip(),
    };
    for (const std::string& address : hostile) {
        std::string errors;
        EXPECT_NE(runProgram(kYt, downloaderArguments(target, address), &errors), 0) << address;
        EXPECT_NE(errors.find("yt: "), std::string::npos) << errors;
        EXPECT_TRUE(filesIn(folder_).empty()) << address;
    }
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(server_.requestLines().empty());
}

TEST_F(ToolsTest, MconvConvertsTheProgramsMp3Parameters) {
    const std::string target = (folder_ / "song.mp3").string();
    fs::copy_file(testClip(), intermediateFile(target));
    std::string errors;
    EXPECT_EQ(runProgram(kMconv, converterArguments(ConversionFormat::MP3, target), &errors), 0)
        << errors;
    const auto streams = probe(target);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, "mp3");
    EXPECT_EQ(streams[0].sampleRate, 44100);
    EXPECT_EQ(streams[0].channels, 2);
}

TEST_F(ToolsTest, MconvEndsALoopedPictureWhenItsSoundEnds) {
    const std::string picture = (folder_ / "video.jpg").string();
    const std::string sound = (folder_ / "sound.raw").string();
    const std::string output = (folder_ / "stream.flv").string();
    ASSERT_EQ(runProgram("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                    "testsrc=size=640x480", "-frames:v", "1", picture}),
              0);
    ASSERT_EQ(runProgram("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                    "sine=frequency=440:sample_rate=22050", "-t", "1", "-ac", "2",
                                    "-f", "s16le", sound}),
              0);
    // The broadcast's parameters, with files in place of the relay and server.
    const std::string parameters =
        " -loop_input -re -i \"" + picture + "\" -f s16le -ar 22050 -ab 96k -ac 2 -i \"" + sound +
        "\" -deinterlace -s 320x240 -r 10 -b 220k -qscale 6 -ar 22050 -ab 96k -f flv \"" + output +
        "\"";
    std::vector<std::string> arguments = {"20", kMconv};
    for (const std::string& a : splitCommandLine(parameters))
        arguments.push_back(a);
    std::string errors;
    // Without -shortest the picture would loop until `timeout` ends it (124).
    EXPECT_EQ(runProgram("timeout", arguments, &errors), 0) << errors;
    const auto streams = probe(output);
    EXPECT_EQ(streamOf(streams, "video").width, 320);
    EXPECT_EQ(streamOf(streams, "video").frameRate, "10/1");
    EXPECT_EQ(streamOf(streams, "audio").sampleRate, 22050);
}

TEST_F(ToolsTest, MconvRefusesOptionsItDoesNotKnow) {
    const std::string target = (folder_ / "v.mp4").string();
    fs::copy_file(testClip(), intermediateFile(target));
    std::string errors;
    EXPECT_NE(runProgram(kMconv,
                         {"-y", "-i", intermediateFile(target), "-vf", "movie=/etc/passwd", target},
                         &errors),
              0);
    EXPECT_NE(errors.find("mconv: unknown option -vf"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(target));
}
