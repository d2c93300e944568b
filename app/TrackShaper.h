#pragma once

#include "analysis/AnalysisCache.h"
#include "analysis/AnalysisWorker.h"
#include "decks/DeckEngine.h"

#include <QHash>
#include <QObject>
#include <QString>

class Settings;
class Playlist;

// Loudness normalisation and silence skipping for the decks: queues the
// playlist's tracks for analysis as they are added (the next one to play
// first), keeps the results, and answers the deck engine's TrackPlan for a
// path from them and the two settings. Until a track is analysed its
// ReplayGain tag gives the gain (0 dB without one) and it plays whole. A
// result reaches a track when a deck loads it; a change of setting reaches
// the playing decks at once.
class TrackShaper : public QObject {
    Q_OBJECT
public:
    TrackShaper(Settings& settings, Playlist& playlist, DeckEngine& decks,
                const QString& cacheFile = analysis::AnalysisCache::defaultFile(),
                QObject* parent = nullptr);
    // The decks stop asking: they may outlive the shaper.
    ~TrackShaper() override;

    DeckEngine::TrackPlan plan(const std::string& path) const;
    // The pair's own hand-over while "Smart transitions" is on and both
    // tracks are analysed; else nothing (the ten-second cross-fade).
    std::optional<DeckEngine::Handover> handover(const std::string& outgoing,
                                                 const std::string& incoming) const;
    // A setting changed: the playing decks' gains follow at once.
    void settingsChanged();
    bool isAnalysed(const std::string& path) const;

signals:
    // A track's analysis arrived (or failed: analysed = false).
    void trackAnalysed(const QString& path, bool analysed);

private:
    void queueRows(int first, int last);
    // The normalising gain of an analysed track.
    static double gainDb(const analysis::LoudnessResult& result);

    Settings& settings_;
    Playlist& playlist_;
    DeckEngine& decks_;
    analysis::AnalysisCache cache_;
    analysis::AnalysisWorker worker_;
    QHash<QString, analysis::LoudnessResult> results_;
    QHash<QString, double> tagGainsDb_;
};
