// The window as a user meets it, driven through its widgets: its smallest
// size, the microphone's check box on the dark panel, the deck times after
// "Stop", "About" without a working browser, and the playlist's keys.
#include "app/MainWindow.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/Dialogs.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/ToneFiles.h"
#include "tests/support/TestApp.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

class WindowEdges : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_TRUE(home.isValid());
        useUserFolder(home.path().toLocal8Bit().constData());
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            shown << request.text;
            reply(dialogs::Answer{true, {}});
        });
    }
    void TearDown() override { dialogs::setHandler({}); }

    // The deck, mixer and list boxes of the "Playlist" page.
    static std::vector<QWidget*> playlistPageParts(MainWindow& form) {
        return {form.controls().deckABox, form.controls().mixerBox, form.controls().deckBBox,
                form.controls().playlistView};
    }

    QTemporaryDir home;
    QStringList shown; // texts of the message boxes the program opened
};

TEST_F(WindowEdges, NothingOverlapsAtTheSmallestSizeTheWindowTakes) {
    MainWindow form;
    form.show();
    for (const QSize asked : {QSize(800, 560), QSize(1, 1)}) {
        form.resize(asked);
        QApplication::processEvents();
        const std::vector<QWidget*> parts = playlistPageParts(form);
        const QRect page = form.controls().playlistTab->rect();
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_TRUE(page.contains(parts[i]->geometry()))
                << parts[i]->objectName().toStdString() << " leaves the page at " << asked.width()
                << "x" << asked.height();
            EXPECT_GT(parts[i]->height(), 0) << parts[i]->objectName().toStdString();
            for (std::size_t j = i + 1; j < parts.size(); ++j)
                EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry()))
                    << parts[i]->objectName().toStdString() << " and "
                    << parts[j]->objectName().toStdString() << " overlap at " << asked.width()
                    << "x" << asked.height() << " (window " << form.width() << "x" << form.height()
                    << ")";
        }
    }
}

// Fusion draws an unchecked box in the palette's base and window colours:
// on the black panel it vanished unless focused.
TEST_F(WindowEdges, TheUncheckedMicBoxShowsOnTheDarkPanelWithoutFocus) {
    MainWindow form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.controls().micMute, Qt::LeftButton);
    ASSERT_FALSE(form.controls().micMute->isChecked());
    form.controls().playlistView->setFocus();
    ASSERT_FALSE(form.controls().micMute->hasFocus());

    QStyleOptionButton option;
    option.initFrom(form.controls().micMute);
    const QRect box = form.controls().micMute->style()->subElementRect(
        QStyle::SE_CheckBoxIndicator, &option, form.controls().micMute);
    const QImage picture = form.controls().micMute->grab().toImage();
    const QColor panel =
        form.controls().mixerBox->grab(QRect(0, 0, 1, 1)).toImage().pixelColor(0, 0);
    int contrast = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            contrast =
                std::max(contrast, std::abs(qGray(picture.pixel(x, y)) - qGray(panel.rgb())));
    std::printf("unchecked box against the panel: %d grey levels apart\n", contrast);
    EXPECT_GE(contrast, 60) << "the unchecked box is hardly distinct from the panel";
}

TEST_F(WindowEdges, StopPutsBothDeckTimesBackToTheirIdleText) {
    MainWindow form;
    auto* card = dynamic_cast<audio::VirtualSoundCard*>(form.audioEngine());
    ASSERT_NE(card, nullptr) << "tests run on the virtual sound card";
    form.playlist()->addFile(tonefiles::mp3({.frequency = 440, .seconds = 11}));
    form.playlist()->addFile(tonefiles::mp3({.frequency = 660, .seconds = 11}));
    form.controls().playAction->trigger();
    ASSERT_TRUE(settleLoads(*card));
    card->render(1500);
    form.decks()->onDisplayTick(); // less than ten seconds left: (B) takes item 1
    ASSERT_TRUE(settleLoads(*card));
    card->render(1000);
    form.decks()->onDisplayTick();
    ASSERT_NE(form.controls().deckATime->text(), "(A) - - -");
    ASSERT_NE(form.controls().deckBTime->text(), "(B) - - -");

    form.controls().playAction->trigger(); // "Stop"
    EXPECT_EQ(form.controls().deckATitle->text(), "- - -");
    EXPECT_EQ(form.controls().deckATime->text(), "(A) - - -");
    EXPECT_EQ(form.controls().deckBTime->text(), "(B) - - -");
}

// "About" hands the address to xdg-open; when there is none, or it fails
// (no browser), a box says so and shows the address.
TEST_F(WindowEdges, AboutSaysSoWhenNoBrowserOpensThePage) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    struct OnlyThisPath {
        const QByteArray saved = qgetenv("PATH");
        explicit OnlyThisPath(const QString& folder) { qputenv("PATH", folder.toLocal8Bit()); }
        ~OnlyThisPath() { qputenv("PATH", saved); }
    } onlyBin(bin.path());
    MainWindow form;
    const QString address = QString::fromStdString(MainWindow::aboutAddress());
    auto opener = [&](const QByteArray& body) {
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.asked\"\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };

    opener("exit 0");
    form.controls().aboutAction->trigger();
    QFile asked(bin.filePath(QStringLiteral("xdg-open.asked")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.exists(); }, 10000)) << "xdg-open never ran";
    ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(asked.readAll()), address);
    asked.close();

    opener("exit 3"); // what xdg-open says when it finds no browser
    form.controls().aboutAction->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 10000))
        << "a failing xdg-open went unreported";
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(address)) << shown[0].toStdString();

    QFile::remove(bin.filePath(QStringLiteral("xdg-open")));
    form.controls().aboutAction->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.size() == 2; }, 10000))
        << "a missing xdg-open went unreported";
}

// Enter on a row plays it as a double click does; Delete removes it.
TEST_F(WindowEdges, EnterPlaysTheRowAndDeleteRemovesIt) {
    MainWindow form;
    auto* card = dynamic_cast<audio::VirtualSoundCard*>(form.audioEngine());
    ASSERT_NE(card, nullptr);
    const std::vector<std::string> files = {tonefiles::mp3({.frequency = 440, .seconds = 3}),
                                            tonefiles::mp3({.frequency = 550, .seconds = 3}),
                                            tonefiles::mp3({.frequency = 660, .seconds = 3})};
    for (const std::string& file : files)
        form.playlist()->addFile(file);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTreeView* view = form.controls().playlistView;
    auto clickRow = [&](int row) {
        const QModelIndex index = view->model()->index(row, 1);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        ASSERT_EQ(form.playlist()->selectedIndex(), row);
    };

    clickRow(1);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(settleLoads(*card));
    EXPECT_EQ(form.controls().playAction->text(), "Stop");
    EXPECT_EQ(form.decks()->CurrentIndex, 1);
    EXPECT_EQ(form.controls().deckATitle->text(), form.playlist()->titleAt(1));

    clickRow(2);
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(form.playlist()->count(), 2);
    EXPECT_EQ(form.playlist()->pathAt(0), files[0]);
    EXPECT_EQ(form.playlist()->pathAt(1), files[1]);
}

} // namespace
