// A 2 GB file named .mp3 is added to the playlist and played: the listing
// reads only the file's end, and the deck opens it (or refuses it) without
// reading gigabytes or holding them in memory. The files are sparse, so they
// take almost no disk.
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/MediaError.h"
#include "platform/audio/TrackDecoder.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/faults/GarbageBytes.h"
#include "tests/support/TestApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr off_t kTwoGigabytes = off_t{2} << 30;

// Bytes this process has read through read() so far (/proc/self/io rchar).
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

// A file of the given head followed by a hole up to 2 GB.
std::string sparseFile(const QTemporaryDir& dir, const QString& name, const QByteArray& head) {
    const std::string path = dir.filePath(name).toStdString();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(::write(fd, head.constData(), static_cast<size_t>(head.size())), head.size());
    EXPECT_EQ(::ftruncate(fd, kTwoGigabytes), 0);
    ::close(fd);
    return path;
}

QByteArray garbage(int n) {
    return QByteArray::fromStdString(garbageBytes(static_cast<std::size_t>(n)));
}

QByteArray fileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Outcome {
    bool opened = false;
    std::string error;
    long long bytesRead = 0;
    double seconds = 0;
};

Outcome openOnDeck(audio::DeckPlayer& deck, const std::string& path) {
    const long long before = bytesRead();
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    try {
        deck.open(path);
        outcome.opened = true;
    } catch (const audio::MediaError& error) {
        outcome.error = error.what();
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.bytesRead = bytesRead() - before;
    std::printf("open of %s: %s, %.2f s, %lld MB read\n", path.c_str(),
                outcome.opened ? "opened" : outcome.error.c_str(), outcome.seconds,
                outcome.bytesRead >> 20);
    return outcome;
}

class HugeFile : public ::testing::Test {
protected:
    void SetUp() override { ensureTestApp(); }
    QTemporaryDir dir;
    audio::VirtualSoundCard card;
};

TEST_F(HugeFile, IsListedFromItsEndAlone) {
    const std::string path = sparseFile(dir, "huge.mp3", garbage(1 << 20));
    Playlist playlist;
    const long long before = bytesRead();
    ASSERT_TRUE(playlist.addFile(path));
    EXPECT_LT(bytesRead() - before, 1 << 20);
    EXPECT_EQ(playlist.titleAt(0), "huge.mp3");
}

TEST_F(HugeFile, ShortTrackFollowedByAHoleOpensOrIsRefusedWithoutReadingItAll) {
    const QByteArray track = fileBytes(tonefiles::mp3({.frequency = 440, .seconds = 2}));
    const std::string path = sparseFile(dir, "track-and-hole.mp3", track);
    audio::DeckPlayer deck(card);
    const Outcome outcome = openOnDeck(deck, path);
    EXPECT_LT(outcome.bytesRead, 64LL << 20);
    if (outcome.opened) {
        EXPECT_NEAR(deck.length(), 2000, 100);
        bool ended = false;
        deck.play([&] { ended = true; });
        card.render(2500);
        EXPECT_TRUE(ended);
    }
}

TEST_F(HugeFile, GarbageIsRefusedWithoutReadingItAll) {
    const std::string path = sparseFile(dir, "garbage.mp3", garbage(4 << 20));
    audio::DeckPlayer deck(card);
    const Outcome outcome = openOnDeck(deck, path);
    EXPECT_FALSE(outcome.opened);
    EXPECT_FALSE(deck.isOpen());
    EXPECT_LT(outcome.bytesRead, 64LL << 20);
}

TEST_F(HugeFile, AHoleAloneIsRefusedWithoutReadingItAll) {
    const std::string path = sparseFile(dir, "hole.mp3", QByteArray(16, '\0'));
    audio::DeckPlayer deck(card);
    const Outcome outcome = openOnDeck(deck, path);
    EXPECT_FALSE(outcome.opened);
    EXPECT_LT(outcome.bytesRead, 64LL << 20);
}

// A WAV header (RIFF, WAVE, fmt) and no data chunk: the demuxer hunts for
// one through the whole hole, which took minutes for 2 GB.
QByteArray wavHeaderWithoutData() {
    QByteArray head("RIFF\xff\xff\xff\x7fWAVEfmt ", 16);
    const unsigned char fmt[20] = {16, 0, 0,    0,    1, 0, 2, 0, 0x44, 0xac,
                                   0,  0, 0x10, 0xb1, 2, 0, 4, 0, 16,   0};
    return head + QByteArray(reinterpret_cast<const char*>(fmt), sizeof fmt);
}

TEST_F(HugeFile, APreallocatedWavIsRefusedAtTheOpenDeadline) {
    const std::string path = sparseFile(dir, "preallocated.wav", wavHeaderWithoutData());
    audio::DeckPlayer deck(card);
    const Outcome outcome = openOnDeck(deck, path);
    EXPECT_FALSE(outcome.opened);
    EXPECT_NE(outcome.error.find("took too long"), std::string::npos) << outcome.error;
}

// The list plays on past such a file: skipped as unplayable when its open
// runs out of time, and at once (not marked) when the user asks for the next.
TEST_F(HugeFile, APreallocatedWavInTheListIsSkippedAndNextActsWhileItLoads) {
    const std::string stall = sparseFile(dir, "stall.wav", wavHeaderWithoutData());
    const std::string tone = tonefiles::mp3({.frequency = 440, .seconds = 20});
    Playlist list;
    list.items().insert(0, {stall, "stall", Playability::Untried, {}});
    list.items().insert(1, {tone, "tone", Playability::Untried, {}});
    DeckEngine decks(card, list);
    std::vector<int> started;
    QObject::connect(&decks, &DeckEngine::trackStarted, &decks,
                     [&](Deck, int index) { started.push_back(index); });

    decks.playOrStop();
    ASSERT_TRUE(decks.isLoading(Deck::A));
    EXPECT_TRUE(decks.advanceNow()) << "Next on a deck that is still loading";
    ASSERT_TRUE(waitFor([&] { return !started.empty(); }, 3000));
    EXPECT_EQ(started, std::vector<int>{1});
    EXPECT_EQ(list.items().at(0).playability, Playability::Untried) << "skipped, not failed";
    decks.playOrStop();

    // Left alone, the stalled open fails at its deadline and the list goes on.
    started.clear();
    decks.playOrStop();
    ASSERT_TRUE(waitFor([&] { return !started.empty(); },
                        int(audio::kOpenDeadline.count()) * 1000 + 10000));
    EXPECT_EQ(started, std::vector<int>{1});
    EXPECT_EQ(list.items().at(0).playability, Playability::Unplayable);
    EXPECT_TRUE(list.items().at(0).reason.contains("took too long"))
        << list.items().at(0).reason.toStdString();
    decks.playOrStop();
}

} // namespace
