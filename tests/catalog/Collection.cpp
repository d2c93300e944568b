#include "Collection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Track {
    const char* file;
    const char* title;
    const char* artist;
    const char* genre;
    int year;
    enum { Id3v2, Id3v1, Mutagen, None } tag;
};

// Hostile names go in through mutagen, which writes them unchanged; its genre
// field may hold several values, separated by "|".
const Track kTracks[] = {
    {"kiss.mp3", "Kiss", "Prince", "R&B", 1986, Track::Id3v2},
    {"doves.mp3", "When Doves Cry", "Prince", "R&B", 1984, Track::Id3v2},
    {"whitney.mp3", "I Wanna Dance", "Whitney Houston", "R&B", 1987, Track::Id3v1},
    {"run.mp3", "Walk This Way", "Run-DMC", "Hip-Hop|Rock", 1986, Track::Mutagen}, // two values
    {"enemy.mp3", "Fight the Power", "Public Enemy", "Hip-Hop", 1989, Track::Id3v1},
    {"nirvana.mp3", "Smells Like Teen Spirit", "Nirvana", "Rock", 1991, Track::Id3v2},
    {"evil.mp3", "Bad\x01 Song\x1F", "Evil <Band> & \"Co\" 'x'", "Rock", 1995, Track::Mutagen},
    {"The Doors - Love Her Madly.mp3", "", "", "", 0, Track::None},
};

const char* const kVideos[] = {"Prince - Kiss (live).mp4", "Prince_-_Kiss_(video).flv",
                               "Nirvana - Teen Spirit.mp4"};

void Make(Collection& c) {
    fs::create_directories(c.music);
    fs::create_directories(c.videos);
    const fs::path wav = c.root / "tone.wav";
    const fs::path mp3 = c.root / "tone.mp3";
    ASSERT_TRUE(runCommand("sox -n -r 22050 -c 1 " + quote(wav) + " synth 0.5 sine 440"));
    ASSERT_TRUE(runCommand("lame --quiet -b 32 " + quote(wav) + " " + quote(mp3)));
    for (const Track& t : kTracks) {
        const fs::path file = c.music / t.file;
        fs::copy_file(mp3, file);
        const std::string year = std::to_string(t.year);
        std::string command;
        switch (t.tag) {
        case Track::Id3v2:
        case Track::Id3v1:
            command = std::string("id3v2 ") + (t.tag == Track::Id3v1 ? "-1 " : "-2 ") + "-t " +
                      quote(t.title) + " -a " + quote(t.artist) + " -g " + quote(t.genre) + " -y " +
                      year + " " + quote(file);
            break;
        case Track::Mutagen:
            command = "/usr/bin/python3 -c " +
                      quote("import sys\nfrom mutagen.id3 import ID3, TIT2, TPE1, TCON, TDRC\n"
                            "t = ID3()\n"
                            "t.add(TIT2(encoding=3, text=[sys.argv[2]]))\n"
                            "t.add(TPE1(encoding=3, text=[sys.argv[3]]))\n"
                            "t.add(TCON(encoding=3, text=sys.argv[4].split('|')))\n"
                            "t.add(TDRC(encoding=3, text=[sys.argv[5]]))\n"
                            "t.save(sys.argv[1])\n") +
                      " " + quote(file) + " " + quote(t.title) + " " + quote(t.artist) + " " +
                      quote(t.genre) + " " + year;
            break;
        case Track::None:
            break;
        }
        if (!command.empty()) {
            ASSERT_TRUE(runCommand(command)) << command;
        }
        ++c.musicFiles;
    }
    for (const char* name : kVideos) {
        ASSERT_TRUE(runCommand("ffmpeg -nostdin -loglevel error -f lavfi -i "
                               "testsrc=size=160x120:rate=10 -f lavfi -i sine=frequency=440 -t 2 "
                               "-shortest " +
                               quote(c.videos / name)));
        ++c.videoFiles;
    }
}

} // namespace

bool runCommand(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

const Collection& sharedCollection() {
    static const Collection collection = [] {
        Collection c;
        c.root = fs::path(testing::TempDir()) / ("catalog_collection_" + std::to_string(getpid()));
        fs::remove_all(c.root);
        c.music = c.root / "Music";
        c.videos = c.root / "Videos";
        Make(c);
        return c;
    }();
    return collection;
}

Collection copyOf(const Collection& original, const fs::path& where) {
    Collection copy = original;
    fs::remove_all(where);
    fs::create_directories(where);
    copy.root = where;
    copy.music = where / "Music";
    copy.videos = where / "Videos";
    fs::copy(original.music, copy.music, fs::copy_options::recursive);
    fs::copy(original.videos, copy.videos, fs::copy_options::recursive);
    return copy;
}
