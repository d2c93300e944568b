// Saves of a playlist killed (SIGKILL) at random moments: whether written in
// place or through a temporary beside it, the playlist always holds its old
// or its new list, and the next save clears away what killed saves left.
#include "decks/PlaylistFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> list(const char* name, int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i)
        paths.push_back("/music/" + std::string(name) + "/track number " + std::to_string(i) +
                        ".mp3");
    return paths;
}

// The bytes of a playlist file holding paths.
QByteArray bytes(const std::vector<std::string>& paths) {
    QByteArray bytes;
    for (const auto& p : paths)
        bytes += QByteArray::fromStdString(p) + "\r\n";
    return bytes;
}

QByteArray fileBytes(const std::string& file) {
    QFile f(QString::fromStdString(file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Saves `one` and `two` in turn in a child process, killed after a random
// pause of 2 to 32 ms; `check` runs after each kill.
template <typename Check>
void killSavesAtRandom(const std::string& file, const std::string& journals,
                       const std::vector<std::string>& one, const std::vector<std::string>& two,
                       Check check) {
    std::mt19937 random(20);
    for (int kill = 0; kill < 20; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                writePlaylistFile(file, two, journals);
                writePlaylistFile(file, one, journals);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        check();
    }
}

class PlaylistSaveKilled : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writePlaylistFile(file, one, journals));
        ASSERT_EQ(::mkdir(journals.c_str(), 0700), 0);
    }
    // The list the next load sees: the old or the new one, whole.
    void expectOldOrNew() {
        std::vector<std::string> lines;
        ASSERT_TRUE(readPlaylistFile(file, lines, journals));
        EXPECT_TRUE(lines == one || lines == two) << lines.size() << " lines";
    }
    int entries(const QString& folder, const QString& pattern) {
        return int(QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden).size());
    }

    QTemporaryDir folder, data;
    const std::string file = folder.filePath("list.kvd").toStdString();
    const std::string journals = data.filePath("Kolvadeck").toStdString();
    const std::vector<std::string> one = list("one", 40000), two = list("two", 30000);
};

TEST_F(PlaylistSaveKilled, InPlaceTheOldOrTheNewListIsAlwaysWhole) {
    // As root, permission bits stop nothing: an immutable folder takes no new
    // file, while the playlist in it may still be written.
    const std::string frozen = "chattr +i '" + folder.path().toStdString() + "' 2>/dev/null";
    if (std::system(frozen.c_str()) != 0)
        GTEST_SKIP() << "chattr +i is not supported here";
    int torn = 0;
    killSavesAtRandom(file, journals, one, two, [&] {
        const QByteArray raw = fileBytes(file);
        torn += raw != bytes(one) && raw != bytes(two);
        expectOldOrNew();
    });
    // A save that dies at a known moment: the file is cut short (SIGXFSZ at
    // 4 KB) after the journal was written; the next load puts the list back.
    const std::vector<std::string> small = list("s", 2);
    ASSERT_TRUE(writePlaylistFile(file, small, journals));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        writePlaylistFile(file, one, journals);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(fileBytes(file).size(), 4096);
    std::vector<std::string> lines;
    ASSERT_TRUE(readPlaylistFile(file, lines, journals));
    EXPECT_EQ(lines, small);
    std::system(("chattr -i '" + folder.path().toStdString() + "'").c_str());
    std::printf("%d of 20 kills left the playlist torn until the next load restored it\n", torn);
    EXPECT_EQ(entries(data.filePath("Kolvadeck"), "playlist-save-*"), 0);
    EXPECT_EQ(entries(folder.path(), "*"), 1);
}

TEST_F(PlaylistSaveKilled, TheNextSaveRemovesOnlyStaleTemporariesOfOurOwn) {
    killSavesAtRandom(file, journals, one, two, [&] { expectOldOrNew(); });
    const int left = entries(folder.path(), ".kvd-??????");
    // Not ours to remove: a save still running (it holds the lock), another
    // name, another user's file.
    const std::string live = folder.filePath(".kvd-Live01").toStdString();
    const int liveFd = ::open(live.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);
    const std::string other = folder.filePath(".kvd-notes.txt").toStdString();
    ::close(::open(other.c_str(), O_WRONLY | O_CREAT, 0600));
    const std::string foreign = folder.filePath(".kvd-Other1").toStdString();
    ::close(::open(foreign.c_str(), O_WRONLY | O_CREAT, 0600));
    const bool chowned = ::geteuid() == 0 && ::chown(foreign.c_str(), 65534, 65534) == 0;
    // A temporary of a save killed before it wrote anything.
    ::close(::open(folder.filePath(".kvd-Stale1").toLocal8Bit().constData(),
                   O_WRONLY | O_CREAT | O_EXCL, 0600));

    ASSERT_TRUE(writePlaylistFile(file, two, journals));
    std::printf("%d killed saves left a temporary behind\n", left);
    QStringList remaining =
        QDir(folder.path()).entryList({".kvd-*"}, QDir::Files | QDir::Hidden, QDir::Name);
    QStringList expected{".kvd-Live01", ".kvd-notes.txt"};
    if (chowned)
        expected << ".kvd-Other1";
    else
        ::unlink(foreign.c_str());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(remaining, expected);
    ::close(liveFd);
}

} // namespace
