// The file system refuses the program's writes: a playlist saved onto a full
// disk or into a folder that cannot change, a tag written into a file that
// cannot change or that vanished after it was selected. Nothing is lost and
// the window goes on. As root, permission bits stop nothing, so the folder or
// file is made immutable (chattr +i) and the full disk is a tiny tmpfs; where
// the machine refuses those, the case is skipped.
#include "decks/TagEditor.h"
#include "tests/playlist/PlaylistFixture.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// A folder that cannot change (chattr +i) until the object goes away.
class Immutable {
public:
    explicit Immutable(const std::string& path)
        : path_(QString::fromStdString(path)) {
        ok_ = QProcess::execute("chattr", {"+i", path_}) == 0;
    }
    ~Immutable() {
        if (ok_)
            QProcess::execute("chattr", {"-i", path_});
    }
    bool ok() const { return ok_; }

private:
    QString path_;
    bool ok_ = false;
};

// A tmpfs of 64 KB, mounted on a fresh folder, filled to the last byte.
class FullDisk {
public:
    FullDisk() {
        if (::mount("tmpfs", dir_.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
            return;
        mounted_ = true;
    }
    ~FullDisk() {
        if (mounted_)
            ::umount2(dir_.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    std::string pathOf(const QString& name) const { return dir_.filePath(name).toStdString(); }
    // Takes every free block, so the next write fails with ENOSPC.
    void fill() {
        const int fd = ::open(pathOf("filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(512, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        ::close(fd);
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

class FileSystemFault : public PlaylistFixture {
protected:
    void addTracks(int n) {
        const std::string mp3 = taggedMp3("a.mp3", "A", "a");
        for (int i = 0; i < n; ++i)
            form->playlist()->addFile(mp3);
    }
    void saveInto(const std::string& file) {
        answerFiles = {QString::fromStdString(file)};
        form->controls().saveAction->trigger();
    }
    static int leftovers(const QString& folder) {
        return static_cast<int>(
            QDir(folder).entryList({".kvd-*"}, QDir::Files | QDir::Hidden).size());
    }
};

const QByteArray kOldPlaylist = "/old/one.mp3\r\n/old/two.mp3\r\n";

TEST_F(FileSystemFault, PlaylistSavedOntoAFullDiskSaysErrorAndKeepsTheOldFile) {
    FullDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string file = disk.pathOf("list.kvd");
    {
        QFile old(QString::fromStdString(file));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(kOldPlaylist);
    }
    disk.fill();
    addTracks(200); // ~10 KB of paths: more than is left
    saveInto(file);
    EXPECT_EQ(messages, QStringList{"Error!"});
    EXPECT_EQ(peer::fileBytes(file), kOldPlaylist);
    EXPECT_EQ(leftovers(QFileInfo(QString::fromStdString(file)).path()), 0);
    EXPECT_EQ(playlist::count(form->controls().playlistView), 200);
}

// No new file can be made beside the playlist, but the playlist itself may be
// written: it is overwritten in place.
TEST_F(FileSystemFault, PlaylistSavedIntoAFolderThatCannotChangeIsWrittenInPlace) {
    QTemporaryDir folder;
    const std::string file = folder.filePath("list.kvd").toStdString();
    {
        QFile old(QString::fromStdString(file));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(kOldPlaylist);
    }
    Immutable frozen(folder.path().toStdString());
    if (!frozen.ok())
        GTEST_SKIP() << "chattr +i is not supported here";
    addTracks(2);
    saveInto(file);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(", ").toStdString();
    const QByteArray saved = peer::fileBytes(file);
    EXPECT_NE(saved, kOldPlaylist);
    EXPECT_EQ(saved.count("\r\n"), 2);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(FileSystemFault, PlaylistSavedBelowAPathThatIsAFileSaysError) {
    // The chosen folder was replaced by a file after the dialog closed.
    const std::string notAFolder = work.fileWithBytes("was-a-folder", "data");
    addTracks(1);
    saveInto(notAFolder + "/list.kvd");
    EXPECT_EQ(messages, QStringList{"Error!"});
    EXPECT_EQ(peer::fileBytes(notAFolder), QByteArray("data"));
}

TEST_F(FileSystemFault, TagWrittenIntoAFileThatCannotChangeLeavesItAndTheListAsTheyWere) {
    const std::string path = taggedMp3("a.mp3", "Old Artist", "Old Title");
    form->playlist()->addFile(path);
    playlist::select(form->controls().playlistView, 0);
    const QByteArray before = peer::fileBytes(path);
    Immutable frozen(path);
    if (!frozen.ok())
        GTEST_SKIP() << "chattr +i is not supported here";
    TagEditor& editor = *form->tagEditor();
    form->controls().tagInfoAction->trigger();
    editor.id3title->setText("New Title");
    editor.applyButton->click();
    EXPECT_FALSE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_EQ(peer::fileBytes(path), before);
    EXPECT_EQ(titles(), QStringList{"Old Artist - Old Title"});
}

TEST_F(FileSystemFault, TagWrittenIntoAFileThatVanishedDoesNotMakeItAgain) {
    const std::string path = taggedMp3("gone.mp3", "Old Artist", "Old Title");
    form->playlist()->addFile(path);
    playlist::select(form->controls().playlistView, 0);
    TagEditor& editor = *form->tagEditor();
    form->controls().tagInfoAction->trigger();
    ASSERT_EQ(editor.id3title->text(), "Old Title");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    editor.id3title->setText("New Title");
    editor.applyButton->click();
    EXPECT_FALSE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << "the tag made the file again";
    ASSERT_EQ(playlist::count(form->controls().playlistView), 1);
    const QString shown = titles().front();
    EXPECT_TRUE(shown == "Old Artist - Old Title" || shown.contains("gone")) << shown.toStdString();
}

} // namespace
