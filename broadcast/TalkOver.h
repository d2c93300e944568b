#pragma once

#include "platform/audio/StereoFrame.h"

#include <cstddef>

// How the decks give way to the microphone.
struct DuckingSettings {
    double duckDb = 12.0;       // how far the decks go down while the mic is live
    int attackMs = 50;          // time to go all the way down
    int releaseMs = 500;        // time to come all the way back
    double thresholdDb = -40.0; // mic peak (dBFS) that counts as talking
    int holdMs = 300;           // the mic stays live this long after its last peak
};

// Talk-over: adds the microphone to the decks and ducks the decks while the
// mic is live. The decks' gain moves in a straight line in decibels, down
// within attackMs and back up within releaseMs, so the change is heard as a
// fade rather than a step; the hold keeps short pauses in speech from
// pumping the music.
class TalkOver {
public:
    explicit TalkOver(const DuckingSettings& settings = {}, int rate = audio::kOutputRate);

    // out = decks * gain + mic, frame by frame, the gain following the mic.
    void mix(const audio::StereoFrame* decks, const audio::StereoFrame* mic,
             audio::StereoFrame* out, std::size_t frames);

    // The decks' present gain, in dB (0 or below).
    double gainDb() const { return gainDb_; }

private:
    DuckingSettings settings_;
    float threshold_;
    double attackStep_;  // dB per frame going down
    double releaseStep_; // dB per frame coming back
    long holdFrames_;
    long holdLeft_ = 0;
    double gainDb_ = 0.0;
    double gainDbUsed_ = 0.0;
    float gain_ = 1.0f;
};
