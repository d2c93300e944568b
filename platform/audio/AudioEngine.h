#pragma once

#include "platform/audio/AudioOutput.h"
#include "platform/audio/DeckChannel.h"
#include "platform/audio/LoadResult.h"
#include "platform/audio/MixTap.h"

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <string>
#include <thread>

class QObject;
class CallInbox;

namespace audio {

class DeckPlayer;

// Mixes every open deck into one stereo 44.1 kHz output. Each deck is a
// DeckPlayer made on this engine; the engine must outlive its players.
// Decoding happens outside the output callback (on the engine's decoder
// thread, or inside VirtualSoundCard::Render); the callback only adds ready
// frames times each deck's gain.
//
// Files are opened and scanned (which reads all of them) on loader threads,
// one per load, so that a slow disk or a pipe never holds up the main thread
// nor another deck's load; the answer comes back to the main thread through
// its event loop. Each deck counts its loads: an answer for a load that was
// cancelled or replaced (the deck was closed or loaded again meanwhile) is
// dropped.
//
// Back ends (CreateAudioEngine picks one from the environment variable
// KOLVADECK_AUDIO):
//   unset     the desktop's sound server (PulseAudio or PipeWire) through
//             libpulse, else PortAudio's default output (ALSA), opened when
//             OpenDevice is called; when no device opens, a silent real-time
//             clock (said once on standard error) so that the decks still
//             keep time.
//   alsa      PortAudio's default output only, never the server directly.
//   silent    the silent real-time clock without trying a device.
//   virtual   VirtualSoundCard: a clock the caller advances with Render().
class AudioEngine : public MixSource {
public:
    static constexpr int kMaxDecks = 4;

    AudioEngine();
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // "pulse", "portaudio", "silent" or "virtual".
    virtual const char* BackendName() const = 0;

    // The output callback's work: the sum of all playing decks, clipped.
    void MixOutput(StereoFrame* out, std::size_t frames) final;

    // For DeckPlayer: a free deck (throws MediaError when all are taken).
    DeckChannel& AttachPlayer(DeckPlayer& player);
    void DetachPlayer(DeckPlayer& player);
    // For DeckPlayer, main thread: opens path for the player's deck on a
    // loader thread; the player's LoadFinished gets the answer. Starting a
    // load cancels the deck's earlier one.
    // Playback then begins startFrame frames into the file.
    void StartLoad(DeckPlayer& player, const std::string& path, std::int64_t startFrame = 0);
    void CancelLoad(DeckPlayer& player);
    // Loads started and not yet answered or cancelled (main thread).
    int LoadsPending() const;
    // Asks the producer to decode now (a deck was opened or started).
    virtual void WakeProducer() {}
    // A deck stopped or closed (the output may drop what it has queued).
    virtual void DeckStopped() {}
    bool AnyDeckPlaying() const override;
    // Opens the sound device of an engine made to open it on request, without
    // waiting for it; the decks keep time on a silent clock until it plays.
    virtual void OpenDevice() {}
    // The final mix as the output plays it, for one reader (the broadcast).
    MixTap& Tap() { return tap_; }

protected:
    // Main thread: hands each deck's ends of playback to its player.
    void DeliverEndNotices();
    bool HasPendingEndNotices() const;
    DeckChannel& Channel(int i) { return channels_[static_cast<std::size_t>(i)]; }

private:
    struct LoadJob {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    int SlotOf(const DeckPlayer& player) const;
    void Deliver(int slot, unsigned generation, std::unique_ptr<TrackDecoder> decoder,
                 std::int64_t startFrame, const LoadResult& result);
    void ReapFinishedJobs();

    std::array<DeckChannel, kMaxDecks> channels_;
    MixTap tap_;
    std::array<DeckPlayer*, kMaxDecks> players_{}; // main thread only
    // Main thread: each deck's load count and the cancel flag of its load.
    std::array<unsigned, kMaxDecks> loadGeneration_{};
    std::array<std::shared_ptr<std::atomic<bool>>, kMaxDecks> loadCancel_{};
    std::list<LoadJob> loadJobs_;
    std::unique_ptr<CallInbox> loadAnswers_; // lives on the main thread
};

// The engine the program should use, chosen by KOLVADECK_AUDIO (see above).
std::unique_ptr<AudioEngine> CreateAudioEngine();

} // namespace audio
