#pragma once

#include "platform/audio/LoadResult.h"

#include <functional>
#include <string>

namespace audio {

class AudioEngine;
class DeckChannel;

// One deck device: plays one track file (any playable format) through the engine it was made on.
// Times are whole milliseconds. Play, Stop, Length, Position and
// SetTimeFormatMilliseconds throw MediaError on a deck that is not open;
// GetVolume never fails. Main thread only.
class DeckPlayer {
public:
    explicit DeckPlayer(AudioEngine& engine);
    ~DeckPlayer();
    DeckPlayer(const DeckPlayer&) = delete;
    DeckPlayer& operator=(const DeckPlayer&) = delete;

    // The file of the deck: set by Open, kept after Close and after a
    // failed Open (the device's file name property).
    std::string FileName;

    // Closes the deck if open (the old track stops at once), then opens the
    // file and scans it on the engine's loader; returns at once. done runs on
    // the main thread with the answer: "loaded" (the deck is then open, at
    // position 0 with volume 1000, its Length exact) or "cannot play" (the
    // deck stays closed). Closing or loading again before the answer cancels
    // this load: its done never runs.
    // startMs > 0 starts playback (and the position) that far into the file.
    void load(const std::string& path, std::function<void(const LoadResult&)> done,
              int startMs = 0);
    bool isLoading() const { return loading_; }
    // The same, waiting for the answer: throws MediaError when the file
    // cannot be played. Blocks the caller for the whole scan, so it is for
    // tools and tests; the window's thread uses Load.
    void open(const std::string& path);
    // Stops and closes, cancelling a load; nothing happens on a closed deck.
    void close();
    bool isOpen() const;

    // Plays from the current position to the end; onEnd runs on the main
    // thread when the last sample was played (not after Stop, Close or a
    // newer Play). At the end the deck stays open with Position = Length.
    void play(std::function<void()> onEnd = {});
    void stop();
    bool isPlaying() const;

    int length() const;
    // The time of the deck's samples that reached the output.
    int position() const;
    // Milliseconds are the one time format, so this only checks the deck.
    void setTimeFormatMilliseconds() const;

    // 0 (silent) .. 1000 (full); outside values are clamped. Changes are
    // ramped over a few milliseconds. Throws on a deck that is not open.
    void setVolume(int volume);
    // The last volume set, or 1000 as a device opens.
    int getVolume() const;
    // The track's own linear gain (loudness normalisation), multiplied with
    // the volume's gain and ramped like it; 1 as a device opens. Nothing
    // happens on a deck that is not open.
    void setTrackGain(double factor);
    double trackGain() const;

    // Called by the engine on the main thread when playback ran out.
    void notifyEnd();
    // Called by the engine on the main thread with the answer of Load.
    void loadFinished(const LoadResult& result);

private:
    void requireOpen(const char* operation) const;

    AudioEngine& engine_;
    DeckChannel& channel_;
    std::function<void()> onEnd_;
    std::function<void(const LoadResult&)> onLoaded_;
    bool loading_ = false;
};

} // namespace audio
