// The transition set and its analyser, without a sound server: the set's
// files are decoded and laid end to end as a flawless player would, then
// with faults put in, and the analyser must tell the two apart.
#include "tests/decks/TransitionSet.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <iostream>
#include <map>

using namespace transitions;

namespace {

constexpr int kRate = 44100;

class TransitionAnalyser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set = generateTransitionSet(folder.path().toStdString());
        std::vector<std::string> paths;
        for (const Track& t : set.tracks)
            paths.push_back(t.path);
        decoded = decodeLeft(paths);
        // ffmpeg's own command keeps AAC's end padding and resamples Opus to
        // a sample more or less, so the mixed album's parts are laid from the
        // uncut reference instead: its joins are then exact by construction.
        for (const Album& album : set.albums) {
            if (set.tracks[album.first].format == "mp3")
                continue;
            const std::vector<float> whole = decodeLeft({album.referencePath})[0];
            std::size_t from = 0;
            for (std::size_t k = album.first; k < album.first + album.count; ++k) {
                const auto frames = std::size_t(set.tracks[k].frames);
                decoded[k].assign(whole.begin() + long(from), whole.begin() + long(from + frames));
                from += frames;
            }
        }
    }

    // The list from half a second of silence on, each track from its first to
    // its last sample above -42 dBFS (where a sine's RMS is -45 dBFS), album
    // tracks whole where they meet. shift[k] > 0 puts that many silent samples
    // before track k, < 0 starts it that many samples early over the last.
    static std::vector<float> render(std::map<std::size_t, long> shift = {}) {
        std::vector<float> out(kRate / 2);
        for (std::size_t k = 0; k < decoded.size(); ++k) {
            const auto& x = decoded[k];
            auto loud = [](float v) { return std::abs(v) > 0.00794f; };
            std::size_t a = 0, b = x.size();
            if (k == 0 || set.tracks[k - 1].album != set.tracks[k].album ||
                set.tracks[k].album.empty())
                a = std::size_t(std::find_if(x.begin(), x.end(), loud) - x.begin());
            if (k + 1 == decoded.size() || set.tracks[k + 1].album != set.tracks[k].album ||
                set.tracks[k].album.empty())
                b = x.size() - std::size_t(std::find_if(x.rbegin(), x.rend(), loud) - x.rbegin());
            std::size_t at = out.size() + std::size_t(std::max(0L, shift[k]));
            at -= std::size_t(std::max(0L, -shift[k]));
            out.resize(std::max(out.size(), at + b - a));
            for (std::size_t i = a; i < b; ++i)
                out[at + i - a] += x[i];
        }
        return out;
    }

    static QTemporaryDir folder;
    static Set set;
    static std::vector<std::vector<float>> decoded;
};

QTemporaryDir TransitionAnalyser::folder;
Set TransitionAnalyser::set;
std::vector<std::vector<float>> TransitionAnalyser::decoded;

} // namespace

// One test: the set is made once per process, and ctest runs each test in a
// process of its own.
TEST_F(TransitionAnalyser, TellsFlawlessHandOversFromGapsAlbumSlipsAndLoudOverlaps) {
    ASSERT_GE(set.tracks.size(), 40u);
    for (std::size_t k = 0; k < set.tracks.size(); ++k)
        if (set.tracks[k].format == "mp3" && set.tracks[k].kind == Kind::Album) {
            // ffmpeg honours the LAME tag's delay and padding to the sample
            EXPECT_EQ(std::int64_t(decoded[k].size()), set.tracks[k].frames) << k;
        }
    EXPECT_EQ(set.tracks[8].gapless.where, "LAME tag");
    EXPECT_EQ(set.tracks[8].gapless.delay, 1105);

    const auto joins = analyseJoins(render(), kRate, set);
    std::cout << joinTable(joins, set);
    ASSERT_EQ(joins.size(), set.tracks.size() - 1);
    for (const Join& j : joins) {
        SCOPED_TRACE(j.from);
        const Track &out = set.tracks[j.from], &in = set.tracks[j.from + 1];
        ASSERT_TRUE(j.heard);
        EXPECT_LE(j.gap, 0.02);
        EXPECT_LE(j.overlap, 0.03);
        EXPECT_LE(j.excessLu, 0.5);
        EXPECT_NEAR(j.delay, 0, out.kind == Kind::ColdEnd ? 0.03 : 0.05);
        EXPECT_EQ(j.alignment.has_value(), out.kind == Kind::Album && in.kind == Kind::Album);
        EXPECT_LE(j.alignment.value_or(0), 1);
        EXPECT_LE(j.fall, out.kind == Kind::ColdEnd ? 0.05 : 10);
        EXPECT_GT(j.fall, out.kind == Kind::LongFadeOut ? 1 : -1);
        EXPECT_LE(j.rise, in.kind == Kind::HardStart ? 0.05 : 10);
        EXPECT_GT(j.rise, in.kind == Kind::SoftStart ? 1.5 : -1);
    }

    ASSERT_EQ(set.tracks[0].kind, Kind::HardStart);
    ASSERT_EQ(set.tracks[11].kind, Kind::ColdEnd);
    ASSERT_EQ(set.tracks[9].kind, Kind::Album);
    // Two full-level tones of one loudness for 2 s; 300 ms of silence after
    // a cold end; 20 ms of silence inside the MP3 album.
    const auto faulty =
        analyseJoins(render({{1, -2 * kRate}, {12, kRate * 3 / 10}, {9, 882}}), kRate, set);
    std::cout << joinTable(faulty, set);
    EXPECT_NEAR(faulty[0].overlap, 2, 0.05);
    EXPECT_NEAR(faulty[0].excessLu, 3, 0.3);
    EXPECT_NEAR(faulty[11].gap, 0.3, 0.02);
    EXPECT_NEAR(faulty[11].delay, 0.3, 0.02);
    EXPECT_EQ(faulty[8].alignment, 882);
    EXPECT_NEAR(faulty[8].gap, 0.02, 0.001);
    int faults = 0;
    for (const Join& j : faulty)
        faults += j.gap > 0.02 || j.excessLu > 0.5 || j.alignment.value_or(0) > 1;
    EXPECT_EQ(faults, 3);
}
