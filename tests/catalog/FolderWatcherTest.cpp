// The folder watcher on a real folder: what it reports of files written,
// moved, deleted and of new folders, what it passes over, and the kernel's
// overflow.
#include "catalog/FolderWatcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FolderWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(testing::TempDir()) / ("watcher_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "old");
    }
    void TearDown() override { fs::remove_all(root_); }

    static void write(const fs::path& file) { std::ofstream(file) << "x"; }
    // Everything reported until the folder is quiet.
    std::vector<std::string> collect(FolderWatcher& watcher) {
        std::vector<std::string> paths;
        for (FolderWatcher::Changes c; !(c = watcher.collect(500, 100)).empty();) {
            EXPECT_FALSE(c.overflow);
            paths.insert(paths.end(), c.paths.begin(), c.paths.end());
        }
        return paths;
    }
    std::string P(const std::string& relative) const { return (root_ / relative).string(); }

    fs::path root_;
};

using Paths = std::vector<std::string>;

TEST_F(FolderWatcherTest, ReportsFinishedFilesNewFoldersAndWhatIsGone) {
    FolderWatcher watcher({root_.string() + "/"});
    ASSERT_TRUE(watcher.active());
    write(root_ / "old" / "a.mp3");
    write(root_ / ".hidden.mp3");
    write(root_ / "b.mp3.part");
    write(root_ / "c.crdownload");
    fs::rename(root_ / "b.mp3.part", root_ / "b.mp3");
    EXPECT_EQ(collect(watcher), (Paths{P("b.mp3"), P("old/a.mp3")}));

    // A new folder is reported (files may be in it before its watch) and
    // watched from then on, deeper folders too.
    fs::create_directories(root_ / "new" / "deeper");
    EXPECT_EQ(collect(watcher), (Paths{P("new")}));
    write(root_ / "new" / "deeper" / "d.mp3");
    EXPECT_EQ(collect(watcher), (Paths{P("new/deeper/d.mp3")}));

    fs::remove(root_ / "b.mp3");
    fs::rename(root_ / "old", root_ / "older");
    EXPECT_EQ(collect(watcher), (Paths{P("b.mp3"), P("old"), P("older")}));
    // The moved folder is watched under its new name only.
    write(root_ / "older" / "e.mp3");
    EXPECT_EQ(collect(watcher), (Paths{P("older/e.mp3")}));
    fs::remove_all(root_ / "new");
    EXPECT_EQ(collect(watcher), (Paths{P("new"), P("new/deeper"), P("new/deeper/d.mp3")}));
}

TEST_F(FolderWatcherTest, AnOverflowAsksForARescanAndWakeEndsAWait) {
    FolderWatcher watcher({root_.string()});
    // More events than the kernel queues by default (16384).
    for (int i = 0; i < 20000; ++i)
        write(root_ / ("f" + std::to_string(i)));
    bool overflow = false;
    for (FolderWatcher::Changes c; !(c = watcher.collect(500, 50, 200)).empty();)
        overflow = overflow || c.overflow;
    EXPECT_TRUE(overflow);

    watcher.wake();
    EXPECT_TRUE(watcher.collect(-1).empty()); // would wait for ever unless woken
}

TEST(TemporaryNames, AreThoseOfDownloadsAndEditors) {
    for (const char* name : {".x.mp3", "x.mp3.part", "x.PART", "x.tmp", "x.crdownload", "x.mp3~",
                             "x.partial", "x.swp"})
        EXPECT_TRUE(isTemporaryName(name)) << name;
    for (const char* name : {"x.mp3", "party.mp3", "tmp.flac", "a.b.ogg"})
        EXPECT_FALSE(isTemporaryName(name)) << name;
}

} // namespace
