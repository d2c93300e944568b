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
        paths.push_back(taggedMp3(QString::fromUtf8(name) + ".mp3", "X", QString::fromUtf8(name)));
        form->playlist()->addFile(paths.back());
    }
    const std::string saved = work.pathOf("set.kvd");
    answerFiles = {QString::fromStdString(saved)};
    form->controls().saveAction->trigger();
    const QByteArray expected =
        QByteArray::fromStdString(paths[0] + "\r\n" + paths[1] + "\r\n" + paths[2] + "\r\n");
    EXPECT_EQ(peer::fileBytes(saved), expected);
    EXPECT_EQ(requests.back().defaultSuffix, "kvd");

    form->controls().removeAction->trigger(); // nothing selected
    form->playlist()->list()->clear();
    form->controls().loadAction->trigger();
    EXPECT_EQ(titles(),
              (QStringList{"X - one", "X - two", QString::fromUtf8("X - thr\xc3\xa9\x65")}));

    // Saving the loaded list again gives the same bytes.
    answerFiles = {QString::fromStdString(work.pathOf("again.kvd"))};
    form->controls().saveAction->trigger();
    EXPECT_EQ(peer::fileBytes(work.pathOf("again.kvd")), expected);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlaylistFiles, LoadReadsAnyLineEndingAndSkipsLinesThatAreNotMp3) {
    const std::string a = taggedMp3("a.mp3", "A", "a"), b = taggedMp3("b.mp3", "B", "b");
    const std::string c = taggedMp3("c.mp3", "C", "c");
    const QByteArray text =
        QByteArray::fromStdString(a + "\r\n\r\nnotes.txt\r" + b + "\n" + c); // no final ending
    answerFiles = {QString::fromStdString(work.fileWithBytes("mixed.kvd", text))};
    form->controls().loadAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"A - a", "B - b", "C - c"}));
    EXPECT_EQ(form->playlist()->PathList, (std::vector<std::string>{a, "", "notes.txt", b, c}));
}

TEST_F(PlaylistFiles, LoadOfAMissingFileSaysErrorAndKeepsTheList) {
    form->playlist()->addFile(taggedMp3("a.mp3", "A", "a"));
    answerFiles = {QString::fromStdString(work.pathOf("nowhere.kvd"))};
    form->controls().loadAction->trigger();
    EXPECT_EQ(messages, QStringList{"Error!"});
    EXPECT_EQ(titles(), QStringList{"A - a"});
}

TEST_F(PlaylistFiles, LoadCancelledChangesNothing) {
    form->playlist()->addFile(taggedMp3("a.mp3", "A", "a"));
    form->controls().loadAction->trigger();
    EXPECT_EQ(titles(), QStringList{"A - a"});
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlaylistFiles, ASaveThatCannotBeWrittenSaysErrorAndTheOldPlaylistSurvives) {
    form->playlist()->addFile(taggedMp3("a.mp3", "A", "a"));
    const QByteArray old = "/old/list.mp3\r\n";
    const std::string file = work.fileWithBytes("keep.kvd", old);
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
    EXPECT_EQ(peer::fileBytes(file), old);
    EXPECT_EQ(QDir(QString::fromStdString(work.pathOf("")))
                  .entryList({".kvd-*"}, QDir::Files | QDir::Hidden)
                  .size(),
              0);
}

TEST(PlaylistFileWriting, ReplacesAnExistingFileWholeAndKeepsItsMode) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("list.kvd").toStdString();
    ASSERT_TRUE(writePlaylistFile(file, {"/a.mp3", "/b.mp3", "/c.mp3"}));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(writePlaylistFile(file, {"/z.mp3"}));
    EXPECT_EQ(peer::fileBytes(file), QByteArray("/z.mp3\r\n"));
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no leftovers
    ASSERT_TRUE(writePlaylistFile(file, {}));
    EXPECT_EQ(peer::fileSize(file), 0);
    // A path with a line break would read back as two rows: refused, and the
    // file is left as it was.
    EXPECT_FALSE(writePlaylistFile(file, {"/a.mp3", "/line\nbreak.mp3"}));
    EXPECT_EQ(peer::fileSize(file), 0);
}

TEST(PlaylistFileWriting, ALinkStaysALinkAndANewFileFollowsTheUmask) {
    QTemporaryDir dir;
    const std::string real = dir.filePath("real.kvd").toStdString();
    const std::string link = dir.filePath("link.kvd").toStdString();
    ASSERT_TRUE(writePlaylistFile(real, {"/a.mp3"}));
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writePlaylistFile(link, {"/b.mp3"}));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(peer::fileBytes(real), QByteArray("/b.mp3\r\n"));

    const mode_t before = ::umask(027);
    const std::string fresh = dir.filePath("fresh.kvd").toStdString();
    const bool written = writePlaylistFile(fresh, {"/c.mp3"});
    ::umask(before);
    ASSERT_TRUE(written);
    ::stat(fresh.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(PlaylistFileWriting, FailsWithoutTouchingAnythingWhenTheFolderIsMissing) {
    EXPECT_FALSE(writePlaylistFile("/nonexistent-folder-kv/list.kvd", {"/a.mp3"}));
}

TEST(PlaylistFileReading, SplitsOnCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(splitLines("\n\n"), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(splitLines("").empty());
}
