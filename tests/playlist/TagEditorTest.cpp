#include "decks/TagEditor.h"
#include "tests/playlist/PlaylistFixture.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

using TagEditor = PlaylistFixture;

TEST_F(TagEditor, ShowsTheSelectedTagAndUpdateWritesItAndRenamesTheRow) {
    const std::string path = TaggedMp3("a.mp3", "Old Artist", "Old Title");
    peer::Run("id3v2",
              {"-1", "-A", "Album", "-y", "1999", "-g", "7", QString::fromStdString(path)});
    form->playlist->AddFile(path);
    playlist::Select(form->playlistView, 0);
    TTagEditor& editor = *form->tagEditor;

    form->LoadPlaylist1->trigger();
    EXPECT_TRUE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_EQ(editor.id3box->y(), 440);
    EXPECT_EQ(editor.id3artist->text(), "Old Artist");
    EXPECT_EQ(editor.id3title->text(), "Old Title");
    EXPECT_EQ(editor.id3album->text(), "Album");
    EXPECT_EQ(editor.id3year->text(), "1999");
    EXPECT_EQ(editor.id3genre->text(), "Hip-Hop");

    const qint64 size = peer::FileSize(path);
    editor.id3artist->setText(QString(40, QLatin1Char('x'))); // cut to 30
    editor.id3title->setText(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
    editor.id3genre->setText("Blues"); // the genre field is not written
    editor.Button2->click();

    EXPECT_FALSE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_EQ(peer::FileSize(path), size);
    const QJsonObject tag = peer::MutagenReadV1(path);
    EXPECT_EQ(tag["artist"].toString(), QString(30, QLatin1Char('x')));
    EXPECT_EQ(tag["album"].toString(), "Album");
    EXPECT_EQ(tag["genre"].toString(), "Hip-Hop");
    // Windows-1252 bytes: e-acute 0xE9, euro 0x80.
    EXPECT_TRUE(peer::FileBytes(path).right(128).mid(3, 6) == QByteArray("Caf\xe9 \x80"));
    EXPECT_EQ(Titles(), QStringList{QString(30, QLatin1Char('x')) +
                                    QString::fromUtf8(" - Caf\xc3\xa9 \xe2\x82\xac")});
}

TEST_F(TagEditor, CancelWritesNothingAndAnUnreadableFileLeavesTheFieldsEmpty) {
    const std::string path = TaggedMp3("a.mp3", "Artist", "Title");
    form->playlist->AddFile(path);
    form->playlist->AddFile(work.PathOf("missing.mp3"));
    const QByteArray before = peer::FileBytes(path);

    playlist::Select(form->playlistView, 0);
    form->LoadPlaylist1->trigger();
    form->tagEditor->id3artist->setText("Changed");
    form->tagEditor->Button3->click();
    EXPECT_EQ(peer::FileBytes(path), before);
    EXPECT_FALSE(form->tagEditor->id3box->isVisibleTo(form.get()));

    playlist::Select(form->playlistView, 1);
    form->LoadPlaylist1->trigger();
    EXPECT_TRUE(form->tagEditor->id3box->isVisibleTo(form.get()));
    EXPECT_TRUE(form->tagEditor->id3artist->text().isEmpty());
    EXPECT_TRUE(form->tagEditor->id3genre->text().isEmpty());
}

TEST_F(TagEditor, UpdateWritesIntoTheRowSelectedNow) {
    const std::string first = TaggedMp3("first.mp3", "First", "one");
    const std::string second = work.FreshMp3("second.mp3"); // untagged
    form->playlist->AddFile(first);
    form->playlist->AddFile(second);
    playlist::Select(form->playlistView, 0);
    form->LoadPlaylist1->trigger();
    playlist::Select(form->playlistView, 1);
    const qint64 size = peer::FileSize(second);
    form->tagEditor->Button2->click();
    EXPECT_EQ(peer::FileSize(second), size + 128); // a tag appended
    EXPECT_EQ(peer::MutagenReadV1(second)["artist"].toString(), "First");
    EXPECT_EQ(Titles(), (QStringList{"First - one", "First - one"}));
}
