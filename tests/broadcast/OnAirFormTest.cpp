#include "broadcast/OnAirForm.h"
#include "tests/support/TestApp.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

// The Icecast settings come back as they were saved, from a file that only
// its owner can read, and say what the session is given.
TEST(OnAirForm, SettingsComeBackFromAFileOnlyItsOwnerReads) {
    ensureTestApp();
    QTemporaryDir dir;
    const QString file = dir.filePath("conf/broadcast.conf");
    QWidget page;
    OnAirWidgets saved = buildOnAirForm(&page, 0, 0);
    saved.server->setText("radio.example.org");
    saved.port->setValue(8010);
    saved.mount->setText("show.ogg");
    saved.password->setText("hackme too");
    saved.format->setCurrentText("Ogg Vorbis");
    saved.bitrate->setCurrentText("192");
    saved.ducking->setValue(9);
    saveOnAirForm(saved, file);
    struct stat st {};
    ASSERT_EQ(::stat(file.toLocal8Bit(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    OnAirWidgets loaded = buildOnAirForm(&page, 0, 0);
    loadOnAirForm(loaded, file);
    const OnAirSettings s = readOnAirForm(loaded, "show.opus");
    EXPECT_EQ(s.icecast.host, "radio.example.org");
    EXPECT_EQ(s.icecast.port, 8010);
    EXPECT_EQ(s.icecast.mount, "/show.ogg");
    EXPECT_EQ(s.icecast.password, "hackme too");
    EXPECT_EQ(s.icecast.format, StreamFormat::Vorbis);
    EXPECT_EQ(s.icecast.kbps, 192);
    EXPECT_EQ(s.ducking.duckDb, 9);
    EXPECT_TRUE(s.recordingPath.empty()) << "the show is recorded only when asked";
    EXPECT_FALSE(s.toIcecast);
}
