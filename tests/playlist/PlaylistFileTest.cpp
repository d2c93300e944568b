#include "decks/PlaylistFile.h"
#include "tests/playlist/PlaylistFixture.h"

#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using PlaylistFiles = PlaylistFixture;

TEST_F(PlaylistFiles, SaveWritesOnePathPerCrLfLineAndLoadBringsTheListBack) {
    std::vector<std::string> paths;
    for (const char* name : {"one", "two", "thr\xc3\xa9\x65"}) {
        paths.push_back(TaggedMp3(QString::fromUtf8(name) + ".mp3", "X", QString::fromUtf8(name)));
        form->playlist()->addFile(paths.back());
    }
    const std::string saved = work.PathOf("set.kvd");
    answerFiles = {QString::fromStdString(saved)};
    form->controls().saveAction->trigger();
    const QByteArray expected =
        QByteArray::fromStdString(paths[0] + "\r\n" + paths[1] + "\r\n" + paths[2] + "\r\n");
    EXPECT_EQ(peer::FileBytes(saved), expected);
    EXPECT_EQ(requests.back().defaultSuffix, "kvd");

    form->controls().removeAction->trigger(); // nothing selected
    form->playlist()->list()->Clear();
    form->controls().loadAction->trigger();
    EXPECT_EQ(Titles(),
              (QStringList{"X - one", "X - two", QString::fromUtf8("X - thr\xc3\xa9\x65")}));

    // Saving the loaded list again gives the same bytes.
    answerFiles = {QString::fromStdString(work.PathOf("again.kvd"))};
    form->controls().saveAction->trigger();
    EXPECT_EQ(peer::FileBytes(work.PathOf("again.kvd")), expected);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlaylistFiles, LoadReadsAnyLineEndingAndSkipsLinesThatAreNotMp3) {
    const std::string a = TaggedMp3("a.mp3", "A", "a"), b = TaggedMp3("b.mp3", "B", "b");
    const std::string c = TaggedMp3("c.mp3", "C", "c");
    const QByteArray text =
        QByteArray::fromStdString(a + "\r\n\r\nnotes.txt\r" + b + "\n" + c); // no final ending
    answerFiles = {QString::fromStdString(work.FileWithBytes("mixed.kvd", text))};
    form->controls().loadAction->trigger();
    EXPECT_EQ(Titles(), (QStringList{"A - a", "B - b", "C - c"}));
    EXPECT_EQ(form->playlist()->PathList, (std::vector<std::string>{a, "", "notes.txt", b, c}));
}

TEST_F(PlaylistFiles, LoadOfAMissingFileSaysErrorAndKeepsTheList) {
    form->playlist()->addFile(TaggedMp3("a.mp3", "A", "a"));
    answerFiles = {QString::fromStdString(work.PathOf("nowhere.kvd"))};
    form->controls().loadAction->trigger();
    EXPECT_EQ(messages, QStringList{"Error!"});
    EXPECT_EQ(Titles(), QStringList{"A - a"});
}

TEST_F(PlaylistFiles, LoadCancelledChangesNothing) {
    form->playlist()->addFile(TaggedMp3("a.mp3", "A", "a"));
    form->controls().loadAction->trigger();
    EXPECT_EQ(Titles(), QStringList{"A - a"});
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlaylistFiles, ASaveThatCannotBeWrittenSaysErrorAndTheOldPlaylistSurvives) {
    form->playlist()->addFile(TaggedMp3("a.mp3", "A", "a"));
    const QByteArray old = "/old/list.mp3\r\n";
    const std::string file = work.FileWithBytes("keep.kvd", old);
    answerFiles = {QString::fromStdString(file)};
    {
        // A disk that fills up after 8 bytes (works for root too).
        struct rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = saved;
        tiny.rlim_cur = 8;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        form->controls().saveAction->trigger();
        ::setrlimit(RLIMIT_FSIZE, &saved);
    }
    EXPECT_EQ(messages, QStringList{"Error!"});
    EXPECT_EQ(peer::FileBytes(file), old);
    EXPECT_EQ(QDir(QString::fromStdString(work.PathOf("")))
                  .entryList({".kvd-*"}, QDir::Files | QDir::Hidden)
                  .size(),
              0);
}

TEST(PlaylistFileWriting, ReplacesAnExistingFileWholeAndKeepsItsMode) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("list.kvd").toStdString();
    ASSERT_TRUE(WritePlaylistFile(file, {"/a.mp3", "/b.mp3", "/c.mp3"}));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(WritePlaylistFile(file, {"/z.mp3"}));
    EXPECT_EQ(peer::FileBytes(file), QByteArray("/z.mp3\r\n"));
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no leftovers
    ASSERT_TRUE(WritePlaylistFile(file, {}));
    EXPECT_EQ(peer::FileSize(file), 0);
    // A path with a line break would read back as two rows: refused, and the
    // file is left as it was.
    EXPECT_FALSE(WritePlaylistFile(file, {"/a.mp3", "/line\nbreak.mp3"}));
    EXPECT_EQ(peer::FileSize(file), 0);
}

TEST(PlaylistFileWriting, ALinkStaysALinkAndANewFileFollowsTheUmask) {
    QTemporaryDir dir;
    const std::string real = dir.filePath("real.kvd").toStdString();
    const std::string link = dir.filePath("link.kvd").toStdString();
    ASSERT_TRUE(WritePlaylistFile(real, {"/a.mp3"}));
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WritePlaylistFile(link, {"/b.mp3"}));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(peer::FileBytes(real), QByteArray("/b.mp3\r\n"));

    const mode_t before = ::umask(027);
    const std::string fresh = dir.filePath("fresh.kvd").toStdString();
    const bool written = WritePlaylistFile(fresh, {"/c.mp3"});
    ::umask(before);
    ASSERT_TRUE(written);
    ::stat(fresh.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(PlaylistFileWriting, FailsWithoutTouchingAnythingWhenTheFolderIsMissing) {
    EXPECT_FALSE(WritePlaylistFile("/nonexistent-folder-kv/list.kvd", {"/a.mp3"}));
}

TEST(PlaylistFileReading, SplitsOnCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(SplitLines("\n\n"), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(SplitLines("").empty());
}
