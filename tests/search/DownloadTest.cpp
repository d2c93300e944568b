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
        saved_ = getDownloadTimeouts();
    }
    void TearDown() override {
        setDownloadTimeouts(saved_);
        fs::remove_all(folder_);
    }

    // Files in the folder besides the target (left-over temporary files).
    std::vector<std::string> others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            if (entry.path() != target_)
                names.push_back(entry.path().filename().string());
        return names;
    }

    void writeTarget(const std::string& text) { std::ofstream(target_) << text; }

    std::string url(const std::string& path) const { return "http://" + server_.host() + path; }

    LoopbackServer server_;
    fs::path folder_;
    std::string target_;
    DownloadTimeouts saved_;
};
} // namespace

TEST_F(DownloadToFileTest, WritesTheAnswerAndOverwritesAnEarlierFile) {
    server_.serve("/a", {200, "text/xml", "<first/>", {}});
    server_.serve("/b", {200, "text/xml", "<second/>", {}});
    ASSERT_TRUE(downloadToFile(url("/a"), target_));
    EXPECT_EQ(readFile(target_), "<first/>");
    ASSERT_TRUE(downloadToFile(url("/b"), target_));
    EXPECT_EQ(readFile(target_), "<second/>");
    EXPECT_TRUE(others().empty());
    // Its owner's alone: an answer says what the user searched for.
    EXPECT_EQ(fs::status(target_).permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
}

TEST_F(DownloadToFileTest, FollowsRedirects) {
    server_.serve("/old", {302, "text/html", "moved", "/new"});
    server_.serve("/new", {200, "text/xml", "<moved/>", {}});
    ASSERT_TRUE(downloadToFile(url("/old"), target_));
    EXPECT_EQ(readFile(target_), "<moved/>");
    EXPECT_THAT(server_.requestLines(), ElementsAre("GET /old HTTP/1.1", "GET /new HTTP/1.1"));
}

TEST_F(DownloadToFileTest, SendsTheQueryWithOnlyUnfitCharactersEscaped) {
    server_.serve("/api/", {200, "text/xml", "<ok/>", {}});
    ASSERT_TRUE(downloadToFile(url("/api/?tag=R&B&q=Hip Hop Bj\xC3\xB6rk&page=1"), target_));
    EXPECT_EQ(server_.lastRequestLine(),
              "GET /api/?tag=R&B&q=Hip%20Hop%20Bj%C3%B6rk&page=1 HTTP/1.1");
}

TEST_F(DownloadToFileTest, AnHttpErrorStatusFailsAndKeepsTheEarlierFile) {
    writeTarget("<earlier/>");
    EXPECT_FALSE(downloadToFile(url("/missing"), target_));
    EXPECT_EQ(readFile(target_), "<earlier/>");
    EXPECT_TRUE(others().empty());
}

TEST_F(DownloadToFileTest, ARefusedConnectionFails) {
    EXPECT_FALSE(
        downloadToFile("http://127.0.0.1:" + std::to_string(refusedPort()) + "/x", target_));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_TRUE(others().empty());
}

TEST_F(DownloadToFileTest, ASilentServerFailsWhenTheTotalTimeOutFires) {
    SilentServer silent;
    setDownloadTimeouts({1000, 300});
    EXPECT_FALSE(downloadToFile("http://" + silent.host() + "/x", target_));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_TRUE(others().empty());
}

TEST_F(DownloadToFileTest, UnusableAddressesAndFilesFail) {
    server_.serve("/", {200, "text/xml", "<ok/>", {}});
    EXPECT_FALSE(downloadToFile("", target_));
    EXPECT_FALSE(downloadToFile("not an address", target_));
    EXPECT_FALSE(downloadToFile(url("/"), (folder_ / "no-such-folder" / "a.xml").string()));
    EXPECT_FALSE(downloadToFile(url("/"), ""));
}
