// What the program keeps for itself (settings, analysis cache, session
// playlist, data folders) is its user's alone, even under umask 000: another
// user who could write the analysis cache would choose the gains it plays at.
#include "analysis/AnalysisCache.h"
#include "app/DataFolders.h"
#include "app/SessionPlaylist.h"
#include "app/Settings.h"
#include "decks/Playlist.h"
#include "tests/decks/ToneFiles.h"
#include "tests/support/TestApp.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(PrivateFiles, StayTheUsersAloneUnderAnOpenUmask) {
    ensureTestApp();
    QTemporaryDir dir;
    const std::string track = tonefiles::mp3({.frequency = 440, .seconds = 1});
    const mode_t old = ::umask(0);
    createDataFolders(dir.filePath("data").toStdString());
    {
        Settings settings(dir.filePath("config/Kolvadeck/Kolvadeck.conf"));
        settings.setSkipSilence(false);
    }
    analysis::AnalysisCache cache(dir.filePath("cache/Kolvadeck/analysis.json"));
    cache.store(track, *analysis::stampOf(track), {});
    {
        Playlist list;
        SessionPlaylist session(list, dir.filePath("state/Kolvadeck/playlist.kvd"));
        ASSERT_TRUE(list.addFile(track)); // written when the session goes
    }
    ::umask(old);
    for (const char* folder :
         {"data/Kolvadeck", "data/Kolvadeck/queries", "data/Kolvadeck/downloads",
          "config/Kolvadeck", "cache/Kolvadeck", "state/Kolvadeck"})
        EXPECT_EQ(modeOf(dir.filePath(folder)), 0700u) << folder;
    for (const char* file : {"config/Kolvadeck/Kolvadeck.conf", "cache/Kolvadeck/analysis.json",
                             "state/Kolvadeck/playlist.kvd"})
        EXPECT_EQ(modeOf(dir.filePath(file)), 0600u) << file;
}

} // namespace
