#include "app/TrackShaper.h"

#include "analysis/TrackGain.h"
#include "analysis/Transition.h"
#include "app/AppLog.h"
#include "app/Settings.h"
#include "decks/Playlist.h"

#include <QFile>

namespace {
QString Key(const std::string& path) {
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
    connect(&worker_, &analysis::AnalysisWorker::Analysed, this,
            [this](const QString& path, const analysis::LoudnessResult& result) {
                // A deck already playing keeps its level: a jump in the
                // middle of a track is worse than a track at its own level.
                results_.insert(path, result);
                emit trackAnalysed(path, true);
            });
    connect(&worker_, &analysis::AnalysisWorker::Failed, this,
            [this](const QString& path, const QString&) { emit trackAnalysed(path, false); });
    connect(&worker_, &analysis::AnalysisWorker::TagGainRead, this,
            [this](const QString& path, double gainDb) {
                // A deck may have loaded the track before its tag was read:
                // it takes the tag's gain now, still near its start.
                tagGainsDb_.insert(path, gainDb);
                decks_.RefreshTrackGain(QFile::encodeName(path).toStdString());
            });
    PlaylistModel& rows = playlist_.Items();
    connect(&rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { QueueRows(first, last); });
    connect(&rows, &QAbstractItemModel::modelReset, this,
            [this] { QueueRows(0, playlist_.Count() - 1); });
    // The track after the one that just started is the next to play.
    connect(&decks_, &DeckEngine::trackStarted, this, [this](Deck, int index) {
        const int count = playlist_.Count();
        if (count > 0)
            worker_.PutFirst(playlist_.PathAt((index + 1) % count));
    });
    decks_.SetTrackPlanner([this](const std::string& path) { return Plan(path); });
    decks_.SetHandoverPlanner([this](const std::string& outgoing, const std::string& incoming) {
        return Handover(outgoing, incoming);
    });
    QueueRows(0, playlist_.Count() - 1);
    worker_.Start();
}

TrackShaper::~TrackShaper() {
    decks_.SetTrackPlanner({});
    decks_.SetHandoverPlanner({});
}

void TrackShaper::QueueRows(int first, int last) {
    for (int i = std::max(first, 0); i <= last && i < playlist_.Count(); ++i)
        worker_.Enqueue(playlist_.PathAt(i));
}

bool TrackShaper::IsAnalysed(const std::string& path) const {
    return results_.contains(Key(path));
}

double TrackShaper::GainDb(const analysis::LoudnessResult& result) {
    return analysis::TrackGainDb(result.integratedLufs, result.truePeakDbtp);
}

DeckEngine::TrackPlan TrackShaper::Plan(const std::string& path) const {
    DeckEngine::TrackPlan plan;
    const QString key = Key(path);
    const auto analysed = results_.constFind(key);
    const bool known = analysed != results_.constEnd();
    if (settings_.NormaliseLoudness()) {
        if (known)
            plan.gain = analysis::GainFactor(GainDb(*analysed));
        else if (const auto tag = tagGainsDb_.constFind(key); tag != tagGainsDb_.constEnd())
            plan.gain = analysis::GainFactor(*tag);
    }
    if (settings_.SkipSilence() && known && analysed->HasAudibleSound()) {
        plan.startMs = static_cast<int>(analysed->FirstAudibleMs());
        plan.musicEndMs = static_cast<int>(analysed->LastAudibleMs());
    }
    return plan;
}

std::optional<DeckEngine::Handover> TrackShaper::Handover(const std::string& outgoing,
                                                          const std::string& incoming) const {
    if (!settings_.SmartTransitions())
        return std::nullopt;
    const auto out = results_.constFind(Key(outgoing));
    const auto in = results_.constFind(Key(incoming));
    if (out == results_.constEnd() || in == results_.constEnd())
        return std::nullopt;
    // At the gains the decks play them at.
    auto gainDb = [this](const analysis::LoudnessResult& result) {
        return settings_.NormaliseLoudness() ? GainDb(result) : 0.0;
    };
    const std::optional<analysis::Transition> plan =
        analysis::PlanTransition(*out, gainDb(*out), *in, gainDb(*in));
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

void TrackShaper::SettingsChanged() {
    decks_.RefreshTrackGains();
}
