// The catalogue lists every format the decks play by its own tags: one file
// of each, made by the real encoders, scanned and searched over HTTP.
#include "CatalogProcess.h"
#include "RawHttp.h"
#include "search/ResultReaders.h"
#include "search/SearchRequest.h"
#include "tests/analysis/SoundFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace fs = std::filesystem;

namespace {

TEST(CatalogueSoundFormats, EachFormatIsFoundByItsTags) {
    const fs::path root = fs::path(soundfiles::pathOf("catalogue"));
    fs::create_directories(root / "music");
    fs::create_directories(root / "videos");
    const std::string wav = soundfiles::soxWav("formats.wav", {"1", "sine", "440", "vol", "0.5"});
    std::vector<std::string> expected;
    for (const char* ext : {"flac", "ogg", "opus", "wav", "aiff", "m4a", "MP3"}) {
        const QString e = QString(ext).toLower();
        // File names that say nothing: the names must come from the tags.
        soundfiles::encode(wav, "catalogue/music/file." + QString(ext), "Band " + e, "Format " + e);
        expected.push_back(("Band " + e + " - Format " + e).toStdString());
    }
    CatalogProcess server;
    ASSERT_TRUE(server.start((root / "catalog.sqlite").string(), (root / "music").string(),
                             (root / "videos").string()))
        << server.errorOutput();
    const RawAnswer answer =
        rawGet(server.port(), "/api/music/?method=track.search&limit=100&track=format&page=1");
    ASSERT_EQ(answer.status, 200);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(answer.body.c_str())) << answer.body;
    SearchResults results;
    readAnswer(methods::kTrackSearch, document, results);
    std::vector<std::string> found;
    for (const MusicResult& track : results.music)
        found.push_back(track.artist + " - " + track.track);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

} // namespace
