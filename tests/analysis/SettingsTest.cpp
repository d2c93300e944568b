// The user's settings file: defaults, lasting changes, damage.
#include "app/Settings.h"
#include "tests/analysis/SoundFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(SettingsTest, DefaultsThenChangesLastAcrossRuns) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Kolvadeck/Kolvadeck.conf");
    {
        Settings s(file);
        EXPECT_TRUE(s.normaliseLoudness());
        EXPECT_TRUE(s.skipSilence());
        EXPECT_EQ(s.value("folders/last", "none").toString(), "none");
        s.setNormaliseLoudness(false);
        s.setValue("folders/last", "/music/é");
    }
    Settings s(file);
    EXPECT_FALSE(s.normaliseLoudness());
    EXPECT_TRUE(s.skipSilence());
    EXPECT_EQ(s.value("folders/last").toString(), "/music/é");

    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(Settings::defaultFile(), file);
}

TEST(SettingsTest, ADamagedFileGivesDefaultsAndIsWrittenAfresh) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Kolvadeck.conf");
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919 + 13) % 256);
    for (const QByteArray& damage :
         {garbage, QByteArray("[playback]\nnormaliseLoudness=maybe\nskipSilence=\x01\x02\n"),
          QByteArray("[playback\nnormaliseLoudness=false\n\xff\xfe")}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damage);
        f.close();
        {
            Settings s(file);
            EXPECT_TRUE(s.normaliseLoudness());
            EXPECT_TRUE(s.skipSilence());
            s.setSkipSilence(false);
        }
        Settings s(file);
        EXPECT_FALSE(s.skipSilence()) << "the change was written over the damage";
        EXPECT_TRUE(s.normaliseLoudness());
        // What is no settings file at all is kept aside for the user to see.
        if (!damage.startsWith("[playback]\n")) {
            EXPECT_EQ(soundfiles::readBytes(file.toStdString() + ".damaged"), damage);
        }
        QFile::remove(file + ".damaged");
    }
}

} // namespace
