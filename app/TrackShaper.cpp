#include "app/TrackShaper.h"

#include "analysis/TrackGain.h"
#include "analysis/Transition.h"
#include "app/AppLog.h"
#include "app/Settings.h"
#include "decks/Playlist.h"

#include <QFile>

namespace {
QString key(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
} // namespace

TrackShaper::TrackShaper(Settings& settings, Playlist& playlist, DeckEngine& decks,
                         const QString& cacheFile, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , playlist_(playlist)
    , decks_(decks)
    , cache_(cacheFile)
    , worker_(cache_) {
    connect(&worker_, &analysis::AnalysisWorker::analysed, this,
            [this](const QString& path, const analysis::LoudnessResult& result) {
                // A deck already playing keeps its level: a jump in the
                // middle of a track is worse than a track at its own level.
                results_.insert(path, result);
                emit trackAnalysed(path, true);
            });
    connect(&worker_, &analysis::AnalysisWorker::failed, this,
            [this](const QString& path, const QString&) { emit trackAnalysed(path, false); });
    connect(&worker_, &analysis::AnalysisWorker::tagGainRead, this,
            [this](const QString& path, double gainDb) {
                // A deck may have loaded the track before its tag was read:
                // it takes the tag's gain now, still near its start.
                tagGainsDb_.insert(path, gainDb);
                decks_.refreshTrackGain(QFile::encodeName(path).toStdString());
            });
    PlaylistModel& rows = playlist_.items();
    connect(&rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { queueRows(first, last); });
    connect(&rows, &QAbstractItemModel::modelReset, this,
            [this] { queueRows(0, playlist_.count() - 1); });
    // The track after the one that just started is the next to play.
    connect(&decks_, &DeckEngine::trackStarted, this, [this](Deck, int index) {
        const int count = playlist_.count();
        if (count > 0)
            worker_.putFirst(playlist_.pathAt((index + 1) % count));
    });
    decks_.setTrackPlanner([this](const std::string& path) { return plan(path); });
    decks_.setHandoverPlanner([this](const std::string& outgoing, const std::string& incoming) {
        return handover(outgoing, incoming);
    });
    queueRows(0, playlist_.count() - 1);
    worker_.start();
}

TrackShaper::~TrackShaper() {
    decks_.setTrackPlanner({});
    decks_.setHandoverPlanner({});
}

void TrackShaper::queueRows(int first, int last) {
    for (int i = std::max(first, 0); i <= last && i < playlist_.count(); ++i)
        worker_.enqueue(playlist_.pathAt(i));
}

bool TrackShaper::isAnalysed(const std::string& path) const {
    return results_.contains(key(path));
}

double TrackShaper::gainDb(const analysis::LoudnessResult& result) {
    return analysis::trackGainDb(result.integratedLufs, result.truePeakDbtp);
}

DeckEngine::TrackPlan TrackShaper::plan(const std::string& path) const {
    DeckEngine::TrackPlan plan;
    const QString key = ::key(path);
    const auto analysed = results_.constFind(key);
    const bool known = analysed != results_.constEnd();
    if (settings_.normaliseLoudness()) {
        if (known)
            plan.gain = analysis::gainFactor(gainDb(*analysed));
        else if (const auto tag = tagGainsDb_.constFind(key); tag != tagGainsDb_.constEnd())
            plan.gain = analysis::gainFactor(*tag);
    }
    if (settings_.skipSilence() && known && analysed->hasAudibleSound()) {
        plan.startMs = static_cast<int>(analysed->firstAudibleMs());
        plan.musicEndMs = static_cast<int>(analysed->lastAudibleMs());
    }
    return plan;
}

std::optional<DeckEngine::Handover> TrackShaper::handover(const std::string& outgoing,
                                                          const std::string& incoming) const {
    if (!settings_.smartTransitions())
        return std::nullopt;
    const auto out = results_.constFind(key(outgoing));
    const auto in = results_.constFind(key(incoming));
    if (out == results_.constEnd() || in == results_.constEnd())
        return std::nullopt;
    // At the gains the decks play them at.
    auto playedGainDb = [this](const analysis::LoudnessResult& result) {
        return settings_.normaliseLoudness() ? gainDb(result) : 0.0;
    };
    const std::optional<analysis::Transition> plan =
        analysis::planTransition(*out, playedGainDb(*out), *in, playedGainDb(*in));
    if (!plan)
        return std::nullopt;
    qCDebug(lcApp, "hand-over %s -> %s: kind %d at frame %lld, fades in %lld out %lld, %.2f LU",
            outgoing.c_str(), incoming.c_str(), int(plan->kind),
            static_cast<long long>(plan->cueFrame),
            static_cast<long long>(plan->incomingFadeFrames),
            static_cast<long long>(plan->outgoingFadeFrames), plan->loudnessExcessLu);
    DeckEngine::Handover handover;
    handover.cueFrame = plan->cueFrame == analysis::Transition::kAtEnd
                            ? DeckEngine::Handover::kAfterLastFrame
                            : plan->cueFrame;
    handover.incomingStartFrame = plan->incomingStartFrame;
    handover.incomingFadeFrames = plan->incomingFadeFrames;
    handover.outgoingFadeFrames = plan->outgoingFadeFrames;
    return handover;
}

void TrackShaper::settingsChanged() {
    decks_.refreshTrackGains();
}
