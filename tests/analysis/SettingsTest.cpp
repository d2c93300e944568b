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
        EXPECT_TRUE(s.NormaliseLoudness());
        EXPECT_TRUE(s.SkipSilence());
        EXPECT_EQ(s.Value("folders/last", "none").toString(), "none");
        s.SetNormaliseLoudness(false);
        s.SetValue("folders/last", "/music/é");
    }
    Settings s(file);
    EXPECT_FALSE(s.NormaliseLoudness());
    EXPECT_TRUE(s.SkipSilence());
    EXPECT_EQ(s.Value("folders/last").toString(), "/music/é");

    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(Settings::DefaultFile(), file);
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
            EXPECT_TRUE(s.NormaliseLoudness());
            EXPECT_TRUE(s.SkipSilence());
            s.SetSkipSilence(false);
        }
        Settings s(file);
        EXPECT_FALSE(s.SkipSilence()) << "the change was written over the damage";
        EXPECT_TRUE(s.NormaliseLoudness());
        // What is no settings file at all is kept aside for the user to see.
        if (!damage.startsWith("[playback]\n")) {
            EXPECT_EQ(soundfiles::ReadBytes(file.toStdString() + ".damaged"), damage);
        }
        QFile::remove(file + ".damaged");
    }
}

} // namespace
