// Rescans of a changing collection by the real program's --scan-only mode.
#include "CatalogProcess.h"
#include "Collection.h"
#include "catalog/Database.h"
#include "catalog/Queries.h"
#include "catalog/Similarity.h"

#include <gtest/gtest.h>

#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Summary {
    long found = -1, read = -1, unchanged = -1, removed = -1;
    bool operator==(const Summary&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Summary& s) {
    return out << s.found << " found, " << s.read << " read, " << s.unchanged << " unchanged, "
               << s.removed << " removed";
}

class Rescan : public ::testing::Test {
protected:
    void SetUp() override {
        collection_ =
            copyOf(sharedCollection(),
                   fs::path(testing::TempDir()) / ("catalog_rescan_" + std::to_string(getpid())));
        database_ = (collection_.root / "catalog.sqlite").string();
    }
    void TearDown() override { fs::remove_all(collection_.root); }

    Summary scan() {
        int code = -1;
        output_ = CatalogProcess::scanOnly(database_, collection_.music.string(),
                                           collection_.videos.string(), &code);
        EXPECT_EQ(code, 0) << output_;
        std::smatch m;
        Summary s;
        if (std::regex_search(
                output_, m,
                std::regex(
                    R"(scan done: (\d+) files, (\d+) read, (\d+) unchanged, (\d+) removed)")))
            s = {std::stol(m[1]), std::stol(m[2]), std::stol(m[3]), std::stol(m[4])};
        return s;
    }
    std::vector<std::string> titles(const char* table) {
        Database db(database_);
        std::vector<std::string> titles;
        Statement& all = db.prepare(std::string("SELECT title FROM ") + table + " ORDER BY title");
        while (all.step())
            titles.push_back(all.text(0));
        return titles;
    }
    // The similar tracks from the lists the scan left ready.
    std::vector<std::string> similar(const std::string& artist, const std::string& title) {
        Database db(database_);
        EXPECT_TRUE(similarity::ready(db));
        std::vector<std::string> titles;
        for (const auto& track : queries::similarTracks(db, artist, title, {100, 0}).rows)
            titles.push_back(track.title);
        return titles;
    }
    static void touch(const fs::path& file) {
        fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(10));
    }

    Collection collection_;
    std::string database_;
    std::string output_;
};

TEST_F(Rescan, OnlyNewOrChangedFilesAreReadAndGoneOnesDropped) {
    const long all = collection_.musicFiles + collection_.videoFiles;
    EXPECT_EQ(scan(), (Summary{all, all, 0, 0}));
    EXPECT_NE(output_.find("scanned " + std::to_string(all) + "/" + std::to_string(all)),
              std::string::npos);
    EXPECT_EQ(scan(), (Summary{all, 0, all, 0}));

    touch(collection_.music / "kiss.mp3");
    EXPECT_EQ(scan(), (Summary{all, 1, all - 1, 0}));

    // New tags are read with the changed file.
    ASSERT_TRUE(runCommand("id3v2 -2 -t 'Kiss (Extended)' '" +
                           (collection_.music / "kiss.mp3").string() + "'"));
    touch(collection_.music / "kiss.mp3");
    EXPECT_EQ(scan(), (Summary{all, 1, all - 1, 0}));
    const auto titles = this->titles("tracks");
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Kiss (Extended)"), titles.end());
    EXPECT_EQ(std::find(titles.begin(), titles.end(), "Kiss"), titles.end());
    // The similarity lists follow the rescans.
    const auto whitney = similar("Whitney Houston", "I Wanna Dance");
    EXPECT_NE(std::find(whitney.begin(), whitney.end(), "Kiss (Extended)"), whitney.end());
    EXPECT_EQ(std::find(whitney.begin(), whitney.end(), "Kiss"), whitney.end());

    const auto rock = similar("Run-DMC", "Walk This Way");
    EXPECT_NE(std::find(rock.begin(), rock.end(), "Smells Like Teen Spirit"), rock.end());
    fs::remove(collection_.music / "nirvana.mp3");
    fs::remove(collection_.videos / "Nirvana - Teen Spirit.mp4");
    EXPECT_EQ(scan(), (Summary{all - 2, 0, all - 2, 2}));
    for (const char* table : {"tracks", "videos"})
        for (const std::string& title : this->titles(table))
            EXPECT_EQ(title.find("Spirit"), std::string::npos) << table;
    for (const std::string& title : similar("Run-DMC", "Walk This Way"))
        EXPECT_EQ(title.find("Spirit"), std::string::npos);

    fs::copy_file(collection_.music / "doves.mp3", collection_.music / "doves copy.mp3");
    EXPECT_EQ(scan(), (Summary{all - 1, 1, all - 2, 0}));
}

TEST_F(Rescan, AFolderThatIsNotThereKeepsItsFiles) {
    const long all = collection_.musicFiles + collection_.videoFiles;
    EXPECT_EQ(scan(), (Summary{all, all, 0, 0}));
    // An unplugged disk is not a deleted collection.
    fs::rename(collection_.music, collection_.root / "elsewhere");
    EXPECT_EQ(scan(), (Summary{collection_.videoFiles, 0, collection_.videoFiles, 0}));
    EXPECT_EQ(titles("tracks").size(), static_cast<size_t>(collection_.musicFiles));
}

} // namespace
