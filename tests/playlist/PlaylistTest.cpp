#include "tests/playlist/PlaylistFixture.h"

#include "tests/decks/WaitFor.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QUrl>

using PlaylistTest = PlaylistFixture;

TEST_F(PlaylistTest, CaptionsComeFromTheTagsOrTheFileName) {
    Playlist& list = *form->playlist();
    EXPECT_TRUE(list.addFile(taggedMp3("a.mp3", "Daft Punk", "Da Funk")));
    const std::string untagged = work.freshMp3("plain.mp3");
    EXPECT_TRUE(list.addFile(untagged));
    EXPECT_TRUE(list.addFile(work.pathOf("gone.mp3"))); // missing: listed by its name
    // Extensions in any case, and every playable format, are added.
    EXPECT_TRUE(list.addFile(work.pathOf("upper.MP3")));
    EXPECT_TRUE(list.addFile(work.pathOf("mixed.FlaC")));
    EXPECT_FALSE(list.addFile(work.pathOf("notes.txt")));
    EXPECT_FALSE(list.addFile(work.pathOf("flac")));
    EXPECT_TRUE(list.addFile(taggedMp3("a2.mp3", "Daft Punk", "Da Funk"))); // twice is fine

    const QStringList titles = this->titles();
    ASSERT_EQ(titles.size(), 6);
    EXPECT_EQ(titles[3], "upper.MP3");
    EXPECT_EQ(titles[4], "mixed.FlaC");
    EXPECT_EQ(titles[0], "Daft Punk - Da Funk");
    EXPECT_EQ(titles[2], "gone.mp3");
    EXPECT_EQ(playlist::pathAt(form->controls().playlistView, 0), work.pathOf("a.mp3"));
    EXPECT_EQ(titles[1], "plain.mp3"); // no tag: named by its file
}

TEST_F(PlaylistTest, OtherFormatsShowTheirFileNameUntilTheirTagsAreReadInTheBackground) {
    Playlist& list = *form->playlist();
    auto flac = [&](const QString& name, const QString& artist, const QString& title) {
        const std::string path = work.pathOf(name);
        peer::run("flac", {"-s", "-f", "--tag=ARTIST=" + artist, "--tag=TITLE=" + title, "-o",
                           QString::fromStdString(path), work.wav()});
        return path;
    };
    for (const std::string& path :
         {flac("a.flac", "A", "One"), flac("b.flac", "B", "Two"), flac("c.flac", "C", "Three")})
        list.addFile(path);
    EXPECT_EQ(titles(), (QStringList{"a.flac", "b.flac", "c.flac"}));
    // Before the answer: a row moves, another goes.
    list.select(2);
    list.moveUp();
    list.select(0);
    list.removeSelected();
    EXPECT_TRUE(waitFor([&] {
        return titles() == QStringList{"C - Three", "B - Two"};
    })) << titles().join(", ").toStdString();
}

// A drop of a thousand files: the top rows are named while the rest are
// still being read, and every row is named in the end.
TEST_F(PlaylistTest, ADropOfManyFilesIsNamedFromTheTopInBatches) {
    Playlist& list = *form->playlist();
    const std::string first = work.pathOf("0.flac");
    peer::run("flac", {"-s", "-f", "--tag=ARTIST=A", "--tag=TITLE=One", "-o",
                       QString::fromStdString(first), work.wav()});
    list.addFile(first);
    for (int i = 1; i < 1000; ++i) {
        const QString copy = QString::fromStdString(work.pathOf(QString::number(i) + ".flac"));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(first), copy));
        list.addFile(copy.toStdString());
    }
    ASSERT_TRUE(waitFor([&] { return titles().front() == "A - One"; }));
    EXPECT_EQ(titles().back(), "999.flac") << "the last rows come later";
    EXPECT_TRUE(waitFor([&] { return titles().count("A - One") == 1000; }));
}

TEST_F(PlaylistTest, TagFieldsPaddedWithBlanksOrZerosAreTrimmed) {
    const std::string path = work.freshMp3("padded.mp3");
    QByteArray tag(128, '\0');
    tag.replace(0, 3, "TAG");
    tag.replace(3, 30, QByteArray("Title").leftJustified(30, ' '));
    tag.replace(33, 30, QByteArray("Artist", 6) + QByteArray(24, '\0'));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(tag);
    file.close();
    const std::string empty = work.freshMp3("empty.mp3");
    QFile emptyTag(QString::fromStdString(empty));
    ASSERT_TRUE(emptyTag.open(QIODevice::Append));
    emptyTag.write(QByteArray("TAG") + QByteArray(125, '\0'));
    emptyTag.close();

    form->playlist()->addFile(path);
    form->playlist()->addFile(empty);
    EXPECT_EQ(titles(), (QStringList{"Artist - Title", " - "}));
}

TEST_F(PlaylistTest, MoveRemoveAndKeysActOnTheSelectedRow) {
    for (const char* name : {"one", "two", "three"})
        form->playlist()->addFile(taggedMp3(QString(name) + ".mp3", "X", name));
    QTreeView* list = form->controls().playlistView;

    form->controls().moveDownAction->trigger(); // nothing selected: nothing happens
    form->controls().removeAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"X - one", "X - two", "X - three"}));

    playlist::select(list, 0);
    form->controls().moveUpAction->trigger(); // first row cannot go up
    form->controls().moveDownAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"X - two", "X - one", "X - three"}));
    EXPECT_EQ(playlist::selectedIndex(list), 1);

    QTest::keyClick(list, Qt::Key_Plus, Qt::NoModifier);
    EXPECT_EQ(titles(), (QStringList{"X - two", "X - three", "X - one"}));
    EXPECT_EQ(playlist::selectedIndex(list), 2);
    form->controls().moveDownAction->trigger(); // last row cannot go down
    EXPECT_EQ(titles(), (QStringList{"X - two", "X - three", "X - one"}));

    QTest::keyClick(list, Qt::Key_Minus, Qt::NoModifier);
    QTest::keyClick(list, Qt::Key_Minus, Qt::NoModifier);
    EXPECT_EQ(titles(), (QStringList{"X - one", "X - two", "X - three"}));
    EXPECT_EQ(playlist::pathAt(list, 0), work.pathOf("one.mp3"));

    form->controls().removeAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"X - two", "X - three"}));
}

TEST_F(PlaylistTest, AddTracksAddsTheChosenFilesInOrderAndCancelAddsNothing) {
    const std::string b = taggedMp3("b.mp3", "B", "b"), a = taggedMp3("a.mp3", "A", "a");
    form->controls().addTracksMenuAction->trigger(); // cancelled
    EXPECT_TRUE(titles().isEmpty());
    answerFiles = {QString::fromStdString(b), QString::fromStdString(a)};
    form->controls().addTracksMenuAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"B - b", "A - a"}));
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests.back().multiSelect);
    for (const char* pattern : {"*.mp3", "*.MP3", "*.flac", "*.opus", "*.m4a", "*.AIFF"})
        EXPECT_TRUE(requests.back().filter.contains(pattern)) << pattern;
}

TEST_F(PlaylistTest, DroppedFilesAreAddedAndFoldersSkipped) {
    const std::string a = taggedMp3("a.mp3", "A", "a"), b = taggedMp3("b.mp3", "B", "b");
    QDir(QString::fromStdString(work.pathOf(""))).mkdir("folder.mp3");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                  QUrl::fromLocalFile(QString::fromStdString(work.pathOf("folder.mp3"))),
                  QUrl::fromLocalFile(QString::fromStdString(b))});
    QWidget* target = form->controls().playlistView->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_EQ(titles(), (QStringList{"A - a", "B - b"}));
}

TEST_F(PlaylistTest, RebuildRereadsTagsAndKeepsDeletedFilesInPlace) {
    const std::string a = taggedMp3("a.mp3", "A", "a"), b = taggedMp3("b.mp3", "B", "b");
    form->playlist()->addFile(a);
    form->playlist()->addFile(b);
    ASSERT_TRUE(QFile::remove(QString::fromStdString(a)));
    peer::run("id3v2", {"-1", "-a", "New", "-t", "name", QString::fromStdString(b)});
    form->playlist()->refreshTitles();
    EXPECT_EQ(titles(), (QStringList{"a.mp3", "New - name"}));
    EXPECT_EQ(form->playlist()->PathList, (std::vector<std::string>{a, b}));
}

// A name with a line break could not be kept in a playlist file: the dialog
// and a drop refuse it with a message that names it, and add the others.
TEST_F(PlaylistTest, AFileNameWithALineBreakIsRefusedWithAMessage) {
    const std::string good = taggedMp3("good.mp3", "G", "g");
    const std::string broken = work.pathOf("two\nlines.mp3");
    QFile::copy(QString::fromStdString(good), QString::fromStdString(broken));
    answerFiles = {QString::fromStdString(broken), QString::fromStdString(good)};
    form->controls().addTracksMenuAction->trigger();
    EXPECT_EQ(titles(), (QStringList{"G - g"}));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QString::fromUtf8("two\u21B5lines.mp3")))
        << messages[0].toStdString();

    form->playlist()->addDroppedFiles({broken, good});
    EXPECT_EQ(titles(), (QStringList{"G - g", "G - g"}));
    EXPECT_EQ(messages.size(), 2);
}

// The list view shows an unplayable item's mark and reason from the model.
TEST_F(PlaylistTest, TheViewShowsTheMarkOfAnItemThatCannotPlay) {
    form->playlist()->addFile(work.pathOf("gone.mp3"));
    form->playlist()->markUnplayable(0, "Cannot play: the file is missing.");
    const QModelIndex track =
        form->controls().playlistView->model()->index(0, PlaylistModel::kTrackColumn);
    EXPECT_EQ(track.data(Qt::ToolTipRole).toString(), "Cannot play: the file is missing.");
    EXPECT_TRUE(track.data(Qt::FontRole).value<QFont>().strikeOut());
    form->playlist()->refreshTitles(); // editing a tag rebuilds: the mark is cleared
    EXPECT_FALSE(
        form->controls().playlistView->model()->index(0, 1).data(Qt::ToolTipRole).isValid());
}
