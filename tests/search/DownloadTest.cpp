#include "platform/Download.h"
#include "LoopbackServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using ::testing::ElementsAre;

namespace {
class DownloadToFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::path(testing::TempDir()) / ("download_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        target_ = (folder_ / "answer.xml").string();
        saved_ = GetDownloadTimeouts();
    }
    void TearDown() override {
        SetDownloadTimeouts(saved_);
        fs::remove_all(folder_);
    }

    // Files in the folder besides the target (left-over temporary files).
    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            if (entry.path() != target_)
                names.push_back(entry.path().filename().string());
        return names;
    }

    void WriteTarget(const std::string& text) { std::ofstream(target_) << text; }

    std::string Url(const std::string& path) const { return "http://" + server_.Host() + path; }

    LoopbackServer server_;
    fs::path folder_;
    std::string target_;
    DownloadTimeouts saved_;
};
} // namespace

TEST_F(DownloadToFileTest, WritesTheAnswerAndOverwritesAnEarlierFile) {
    server_.Serve("/a", {200, "text/xml", "<first/>", {}});
    server_.Serve("/b", {200, "text/xml", "<second/>", {}});
    ASSERT_TRUE(DownloadToFile(Url("/a"), target_));
    EXPECT_EQ(ReadFile(target_), "<first/>");
    ASSERT_TRUE(DownloadToFile(Url("/b"), target_));
    EXPECT_EQ(ReadFile(target_), "<second/>");
    EXPECT_TRUE(Others().empty());
    // Its owner's alone: an answer says what the user searched for.
    EXPECT_EQ(fs::status(target_).permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
}

TEST_F(DownloadToFileTest, FollowsRedirects) {
    server_.Serve("/old", {302, "text/html", "moved", "/new"});
    server_.Serve("/new", {200, "text/xml", "<moved/>", {}});
    ASSERT_TRUE(DownloadToFile(Url("/old"), target_));
    EXPECT_EQ(ReadFile(target_), "<moved/>");
    EXPECT_THAT(server_.RequestLines(), ElementsAre("GET /old HTTP/1.1", "GET /new HTTP/1.1"));
}

TEST_F(DownloadToFileTest, SendsTheQueryWithOnlyUnfitCharactersEscaped) {
    server_.Serve("/api/", {200, "text/xml", "<ok/>", {}});
    ASSERT_TRUE(DownloadToFile(Url("/api/?tag=R&B&q=Hip Hop Bj\xC3\xB6rk&page=1"), target_));
    EXPECT_EQ(server_.LastRequestLine(),
              "GET /api/?tag=R&B&q=Hip%20Hop%20Bj%C3%B6rk&page=1 HTTP/1.1");
}

TEST_F(DownloadToFileTest, AnHttpErrorStatusFailsAndKeepsTheEarlierFile) {
    WriteTarget("<earlier/>");
    EXPECT_FALSE(DownloadToFile(Url("/missing"), target_));
    EXPECT_EQ(ReadFile(target_), "<earlier/>");
    EXPECT_TRUE(Others().empty());
}

TEST_F(DownloadToFileTest, ARefusedConnectionFails) {
    EXPECT_FALSE(
        DownloadToFile("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/x", target_));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_TRUE(Others().empty());
}

TEST_F(DownloadToFileTest, ASilentServerFailsWhenTheTotalTimeOutFires) {
    SilentServer silent;
    SetDownloadTimeouts({1000, 300});
    EXPECT_FALSE(DownloadToFile("http://" + silent.Host() + "/x", target_));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_TRUE(Others().empty());
}

TEST_F(DownloadToFileTest, UnusableAddressesAndFilesFail) {
    server_.Serve("/", {200, "text/xml", "<ok/>", {}});
    EXPECT_FALSE(DownloadToFile("", target_));
    EXPECT_FALSE(DownloadToFile("not an address", target_));
    EXPECT_FALSE(DownloadToFile(Url("/"), (folder_ / "no-such-folder" / "a.xml").string()));
    EXPECT_FALSE(DownloadToFile(Url("/"), ""));
}
