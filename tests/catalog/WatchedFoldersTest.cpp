// The running kolvadeck-catalog follows its folders: files copied, moved or
// deleted there are found (or gone) by its HTTP search within 5 s, without a
// scan; partial files never show.
#include "CatalogProcess.h"
#include "Collection.h"
#include "RawHttp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

class WatchedFolders : public ::testing::Test {
protected:
    void SetUp() override {
        collection_ = copyOf(sharedCollection(), fs::path(testing::TempDir()) /
                                                     ("catalog_watch_" + std::to_string(getpid())));
        ASSERT_TRUE(server_.start((collection_.root / "catalog.sqlite").string(),
                                  collection_.music.string(), collection_.videos.string()));
        // A tagged file to copy in, made outside the watched folders.
        source_ = collection_.root / "new.mp3";
        fs::copy_file(collection_.music / "kiss.mp3", source_);
        ASSERT_TRUE(runCommand("id3v2 -2 -t 'Zebulon Quartz' -a 'Prince' -g 'R&B' -y 1985 '" +
                               source_.string() + "'"));
    }
    void TearDown() override {
        server_.stop();
        fs::remove_all(collection_.root);
    }

    std::string search(const std::string& words) {
        return rawGet(server_.port(), "/api/music/?method=track.search&limit=100&track=" + words)
            .body;
    }
    std::string similarToPrince() {
        return rawGet(server_.port(),
                      "/api/music/?method=track.getsimilar&artist=Whitney+Houston&track=I+Wanna+"
                      "Dance&limit=100")
            .body;
    }
    // Polls the answer until it holds (or lacks) the text, for at most 5 s.
    bool within5s(const std::function<std::string()>& ask, const std::string& text, bool present) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            if ((ask().find(text) != std::string::npos) == present)
                return true;
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    Collection collection_;
    CatalogProcess server_;
    fs::path source_;
};

TEST_F(WatchedFolders, NewFilesAreFoundAndGoneOnesDropWithoutAScan) {
    const auto search = [this] { return this->search("zebulon"); };
    ASSERT_EQ(search().find("Zebulon Quartz"), std::string::npos);

    // A copy finished writing.
    fs::copy_file(source_, collection_.music / "copied.mp3");
    EXPECT_TRUE(within5s(search, "copied.mp3", true)) << server_.errorOutput();
    // The similar tracks follow at once: Prince's new R&B track of the 80s.
    EXPECT_NE(similarToPrince().find("Zebulon Quartz"), std::string::npos);

    // A download written under a partial name, then renamed: only the final
    // name is ever catalogued.
    const fs::path partial = collection_.music / "downloaded.mp3.part";
    fs::copy_file(source_, partial);
    fs::rename(partial, collection_.music / "downloaded.mp3");
    EXPECT_TRUE(within5s(search, "downloaded.mp3", true)) << server_.errorOutput();
    EXPECT_EQ(search().find(".part"), std::string::npos);

    // A new folder with a file written into it at once.
    fs::create_directory(collection_.music / "new album");
    fs::copy_file(source_, collection_.music / "new album" / "infolder.mp3");
    EXPECT_TRUE(within5s(search, "infolder.mp3", true)) << server_.errorOutput();

    // Deleted, renamed away and moved out with its folder.
    fs::remove(collection_.music / "copied.mp3");
    EXPECT_TRUE(within5s(search, "copied.mp3", false));
    fs::rename(collection_.music / "downloaded.mp3", collection_.root / "elsewhere.mp3");
    EXPECT_TRUE(within5s(search, "downloaded.mp3", false));
    fs::rename(collection_.music / "new album", collection_.root / "old album");
    EXPECT_TRUE(within5s(search, "Zebulon", false));
    EXPECT_EQ(similarToPrince().find("Zebulon Quartz"), std::string::npos);

    // Files the scan found at the start go as well.
    EXPECT_NE(this->search("teen+spirit").find("Nirvana"), std::string::npos);
    fs::remove(collection_.music / "nirvana.mp3");
    EXPECT_TRUE(within5s([this] { return this->search("teen+spirit"); }, "Nirvana", false));
}

} // namespace
