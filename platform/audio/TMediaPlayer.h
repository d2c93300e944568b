#pragma once

#include <functional>
#include <string>

namespace audio {

class AudioEngine;
class DeckChannel;

// One deck device: plays one MP3 file through the engine it was made on.
// Times are whole milliseconds. Play, Stop, Length, Position and
// SetTimeFormatMilliseconds throw MediaError on a deck that is not open;
// GetVolume never fails. Main thread only.
class TMediaPlayer {
public:
    explicit TMediaPlayer(AudioEngine& engine);
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // The file of the deck: set by Open, kept after Close and after a
    // failed Open (the device's file name property).
    std::string FileName;

    // Closes the deck if open (the old track stops at once), then opens the
    // file and scans it, so Length is exact on return. Throws MediaError with
    // a plain text when the file cannot be played; the deck is then closed.
    // The freshly opened deck stands at position 0 with volume 1000.
    void Open(const std::string& path);
    // Stops and closes; nothing happens on a deck that is not open.
    void Close();
    bool IsOpen() const;

    // Plays from the current position to the end; onEnd runs on the main
    // thread when the last sample was played (not after Stop, Close or a
    // newer Play). At the end the deck stays open with Position = Length.
    void Play(std::function<void()> onEnd = {});
    void Stop();
    bool IsPlaying() const;

    int Length() const;
    // The time of the deck's samples that reached the output.
    int Position() const;
    // Milliseconds are the one time format, so this only checks the deck.
    void SetTimeFormatMilliseconds() const;

    // 0 (silent) .. 1000 (full); outside values are clamped. Changes are
    // ramped over a few milliseconds. Throws on a deck that is not open.
    void SetVolume(int volume);
    // The last volume set, or 1000 as a device opens.
    int GetVolume() const;

    // Called by the engine on the main thread when playback ran out.
    void NotifyEnd();

private:
    void RequireOpen(const char* operation) const;

    AudioEngine& engine_;
    DeckChannel& channel_;
    std::function<void()> onEnd_;
};

} // namespace audio
