// The "ID3 Information" box driven as a user drives it: rows clicked in the
// shown window, text typed into its fields, "Update" clicked, on real MP3
// files that lame and id3v2 tagged and mutagen reads back.
#include "app/MainWindow.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "decks/TagEditor.h"
#include "platform/Dialogs.h"
#include "tests/support/TestApp.h"
#include "tests/tags/PeerTools.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {
class TagEditorSystem : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        useUserFolder(home.path().toLocal8Bit().constData());
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            errors << request.text;
            reply(dialogs::Answer{});
        });
        form = std::make_unique<MainWindow>();
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        editor = form->tagEditor();
    }
    void TearDown() override {
        form.reset();
        dialogs::setHandler({});
    }

    std::string tagged(const QString& name, const QString& artist, const QString& title,
                       const QString& album, const QString& year, const QString& genre) {
        const std::string path = work.freshMp3(name);
        peer::run("id3v2", {"-1", "-a", artist, "-t", title, "-A", album, "-y", year, "-g", genre,
                            QString::fromStdString(path)});
        return path;
    }
    void add(const std::string& path) { ASSERT_TRUE(form->playlist()->addFile(path)); }
    void clickRow(int row) {
        QTreeView* view = form->controls().playlistView;
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_EQ(playlist::selectedIndex(view), row);
    }
    // "ID3 Information" on the row, as the list's context menu runs it.
    void openOn(int row) {
        clickRow(row);
        form->controls().tagInfoAction->trigger();
        ASSERT_TRUE(editor->id3box->isVisible());
    }
    static void retype(QWidget* field, const QString& text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }
    void update() { QTest::mouseClick(editor->applyButton, Qt::LeftButton); }
    bool shown() const { return editor->id3box->isVisible(); }

    QTemporaryDir home;
    peer::Workspace work;
    std::unique_ptr<MainWindow> form;
    TagEditor* editor = nullptr;
    QStringList errors;
};
} // namespace

TEST_F(TagEditorSystem, UpdateWritesTheFileItWasOpenedOnOrRefusesAndSaysWhy) {
    const std::string alpha = tagged("01 alpha.mp3", "Alpha", "One", "First Album", "2001", "7");
    const std::string song = tagged("SONG.MP3", "Singer", "Song", "Songs", "1999", "42");
    add(alpha);
    add(song);
    const QByteArray songBefore = peer::fileBytes(song);

    // Opened on alpha, another row clicked before "Update": alpha is written.
    openOn(0);
    retype(editor->id3title, "Renamed");
    clickRow(1);
    update();
    EXPECT_TRUE(peer::fileBytes(song) == songBefore) << "the row clicked last was written";
    QJsonObject tag = peer::mutagenReadV1(alpha);
    EXPECT_EQ(tag["title"].toString(), "Renamed");
    EXPECT_EQ(tag["artist"].toString(), "Alpha");
    EXPECT_EQ(tag["album"].toString(), "First Album");
    EXPECT_EQ(tag["genre"].toString(), "Hip-Hop");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_FALSE(shown());
    EXPECT_EQ(playlist::titleAt(form->controls().playlistView, 0), "Alpha - Renamed");

    // The row it was opened on removed meanwhile: nothing is written.
    openOn(1);
    retype(editor->id3artist, "Nobody");
    form->controls().removeAction->trigger();
    ASSERT_EQ(playlist::count(form->controls().playlistView), 1);
    clickRow(0);
    const QByteArray alphaBefore = peer::fileBytes(alpha);
    update();
    EXPECT_TRUE(peer::fileBytes(song) == songBefore);
    EXPECT_TRUE(peer::fileBytes(alpha) == alphaBefore) << "written into the row selected now";
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("SONG.MP3") && errors[0].contains("no longer in the playlist"))
        << errors[0].toStdString();
    EXPECT_TRUE(shown()) << "the edit stays for the user to see";
    editor->cancelButton->click();

    // The file changed on disk after its tag was read: another program's
    // change is kept.
    openOn(0);
    retype(editor->id3artist, "Mine");
    peer::run("id3v2", {"-1", "-a", "Theirs", QString::fromStdString(alpha)});
    update();
    EXPECT_EQ(peer::mutagenReadV1(alpha)["artist"].toString(), "Theirs");
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].contains("01 alpha.mp3") && errors[1].contains("changed on disk"))
        << errors[1].toStdString();

    // Opened again, it edits the file as it is now.
    openOn(0);
    EXPECT_EQ(editor->id3artist->text(), "Theirs");
    retype(editor->id3artist, "Mine");
    update();
    EXPECT_EQ(peer::mutagenReadV1(alpha)["artist"].toString(), "Mine");
    EXPECT_EQ(errors.size(), 2);
}

TEST_F(TagEditorSystem, TheGenreIsChosenFromTheListAndFieldsTakeOnlyWhatTheTagHolds) {
    const std::string path = tagged("a.mp3", "Artist", "Title", "Album", "2001", "7");
    add(path);
    openOn(0);
    QWidget* genre = editor->id3genre;
    EXPECT_EQ(genre->property("currentText").toString(), "Hip-Hop");

    // Typing a genre's name chooses it.
    genre->setFocus();
    QTest::keyClicks(genre, "Blues");
    retype(editor->id3title, QString(35, QLatin1Char('t')));
    retype(editor->id3artist, QString(31, QLatin1Char('a')));
    retype(editor->id3album, QString(40, QLatin1Char('b')));
    retype(editor->id3year, "19999");
    // What the fields show is what is written: nothing is cut after Update.
    EXPECT_EQ(editor->id3title->text(), QString(30, QLatin1Char('t')));
    EXPECT_EQ(editor->id3artist->text(), QString(30, QLatin1Char('a')));
    EXPECT_EQ(editor->id3album->text(), QString(30, QLatin1Char('b')));
    EXPECT_EQ(editor->id3year->text(), "1999");
    update();
    const QJsonObject tag = peer::mutagenReadV1(path);
    EXPECT_EQ(tag["genre"].toString(), "Blues");
    EXPECT_EQ(tag["title"].toString(), QString(30, QLatin1Char('t')));
    EXPECT_EQ(tag["year"].toString(), "1999");

    // A number outside the standard list is shown by number and kept.
    QByteArray bytes = peer::fileBytes(path);
    bytes[bytes.size() - 1] = char(147);
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    openOn(0);
    EXPECT_EQ(genre->property("currentText").toString(), "< unbekannt (#147) >");
    retype(editor->id3title, "Kept");
    update();
    EXPECT_EQ(uchar(peer::fileBytes(path).back()), 147);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}
