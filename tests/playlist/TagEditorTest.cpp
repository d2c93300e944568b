#include "decks/TagEditor.h"
#include "tests/playlist/PlaylistFixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

using TagEditorTest = PlaylistFixture;

TEST_F(TagEditorTest, ShowsTheSelectedTagAndUpdateWritesItAndRenamesTheRow) {
    const std::string path = taggedMp3("a.mp3", "Old Artist", "Old Title");
    peer::run("id3v2",
              {"-1", "-A", "Album", "-y", "1999", "-g", "7", QString::fromStdString(path)});
    form->playlist()->addFile(path);
    playlist::select(form->controls().playlistView, 0);
    TagEditor& editor = *form->tagEditor();

    form->controls().tagInfoAction->trigger();
    EXPECT_TRUE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_EQ(editor.id3box->y(), 440);
    EXPECT_EQ(editor.id3artist->text(), "Old Artist");
    EXPECT_EQ(editor.id3title->text(), "Old Title");
    EXPECT_EQ(editor.id3album->text(), "Album");
    EXPECT_EQ(editor.id3year->text(), "1999");
    EXPECT_EQ(editor.id3genre->currentText(), "Hip-Hop");

    const qint64 size = peer::fileSize(path);
    editor.id3artist->setText(QString(40, QLatin1Char('x'))); // cut to 30
    editor.id3title->setText(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
    editor.applyButton->click();

    EXPECT_FALSE(editor.id3box->isVisibleTo(form.get()));
    EXPECT_EQ(peer::fileSize(path), size);
    const QJsonObject tag = peer::mutagenReadV1(path);
    EXPECT_EQ(tag["artist"].toString(), QString(30, QLatin1Char('x')));
    EXPECT_EQ(tag["album"].toString(), "Album");
    EXPECT_EQ(tag["genre"].toString(), "Hip-Hop");
    // Windows-1252 bytes: e-acute 0xE9, euro 0x80.
    EXPECT_TRUE(peer::fileBytes(path).right(128).mid(3, 6) == QByteArray("Caf\xe9 \x80"));
    EXPECT_EQ(titles(), QStringList{QString(30, QLatin1Char('x')) +
                                    QString::fromUtf8(" - Caf\xc3\xa9 \xe2\x82\xac")});
}

TEST_F(TagEditorTest, CancelWritesNothingAndAnUnreadableFileLeavesTheFieldsEmpty) {
    const std::string path = taggedMp3("a.mp3", "Artist", "Title");
    form->playlist()->addFile(path);
    form->playlist()->addFile(work.pathOf("missing.mp3"));
    const QByteArray before = peer::fileBytes(path);

    playlist::select(form->controls().playlistView, 0);
    form->controls().tagInfoAction->trigger();
    form->tagEditor()->id3artist->setText("Changed");
    form->tagEditor()->cancelButton->click();
    EXPECT_EQ(peer::fileBytes(path), before);
    EXPECT_FALSE(form->tagEditor()->id3box->isVisibleTo(form.get()));

    playlist::select(form->controls().playlistView, 1);
    form->controls().tagInfoAction->trigger();
    EXPECT_TRUE(form->tagEditor()->id3box->isVisibleTo(form.get()));
    EXPECT_TRUE(form->tagEditor()->id3artist->text().isEmpty());
    EXPECT_TRUE(form->tagEditor()->id3genre->currentText().isEmpty());
}
