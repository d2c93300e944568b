#include "tests/app/TransitionPlay.h"

#include "app/Settings.h"
#include "app/TrackShaper.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "tests/decks/WaitFor.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>

namespace {
struct Listed {
    QTemporaryDir folder;
    transitions::Set set = transitions::generateTransitionSet(folder.path().toStdString());
};
} // namespace

const transitions::Set& theTransitionSet() {
    static const Listed listed;
    return listed.set;
}

std::vector<float> playTheTransitionSet(audio::AudioEngine& engine, bool smart,
                                        const std::function<void(DeckEngine&, int)>& advance,
                                        const std::function<std::vector<float>()>& sound) {
    const transitions::Set& set = theTransitionSet();
    QTemporaryDir data;
    Settings settings(data.filePath(QStringLiteral("settings.conf")));
    settings.setSmartTransitions(smart);
    Playlist list;
    DeckEngine decks(engine, list);
    TrackShaper shaper(settings, list, decks, data.filePath(QStringLiteral("analysis.json")));
    int analysed = 0;
    QObject::connect(&shaper, &TrackShaper::trackAnalysed, &shaper,
                     [&](const QString&, bool ok) { analysed += ok ? 1 : 1000; });
    for (const transitions::Track& track : set.tracks)
        list.items().insert(
            list.count(),
            {track.path, QString::fromStdString(track.title), Playability::Untried, {}});
    EXPECT_TRUE(waitFor([&] { return analysed >= int(set.tracks.size()); }, 180000));
    EXPECT_EQ(analysed, int(set.tracks.size())) << "a track of the set could not be analysed";
    int last = -1;
    QObject::connect(&decks, &DeckEngine::trackStarted, &decks,
                     [&](Deck, int index) { last = std::max(last, index); });
    decks.playOrStop();
    // Until the last track has played out, with a margin.
    const int lastIndex = int(set.tracks.size()) - 1;
    int afterLast = 0;
    for (int ms = 0; ms < 8 * 60 * 1000 && afterLast < set.tracks.back().seconds * 1000 + 1500;
         ms += 100) {
        advance(decks, ms);
        if (last == lastIndex)
            afterLast += 100;
    }
    std::vector<float> heard = sound();
    decks.playOrStop();
    return heard;
}

void expectEvenJoins(const std::vector<transitions::Join>& joins, double excessSlackLu) {
    const transitions::Set& set = theTransitionSet();
    ASSERT_EQ(joins.size(), set.tracks.size() - 1);
    for (const transitions::Join& join : joins) {
        const transitions::Track& from = set.tracks[join.from];
        SCOPED_TRACE("join " + std::to_string(join.from) + " from " +
                     transitions::kindName(from.kind) + " " + from.format);
        ASSERT_TRUE(join.heard);
        EXPECT_LE(join.gap, 0.5);
        EXPECT_LE(join.excessLu, 1.0 + excessSlackLu);
        if (join.alignment) {
            EXPECT_LE(*join.alignment, 1);
        }
        if (from.kind == transitions::Kind::ColdEnd) {
            EXPECT_LE(join.delay, 0.1);
        }
    }
}
