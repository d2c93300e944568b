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

// The lengths of a cross-fade's two fades, a FadePlan step each so many
// frames (0: at once, without a ramp). The default is the ten-second fade.
struct CrossFadeShape {
    std::int64_t incomingStepFrames = FadePlan::kStepFrames;
    std::int64_t outgoingStepFrames = FadePlan::kStepFrames;
};

// Mixes every open deck into one stereo 44.1 kHz output. Each deck is a
// DeckPlayer made on this engine; the engine must outlive its players.
// Decoding happens outside the output callback (on the engine's decoder
// thread, or inside VirtualSoundCard::render); the callback only adds ready
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
//   virtual   VirtualSoundCard: a clock the caller advances with render().
class AudioEngine : public MixSource {
public:
    static constexpr int kMaxDecks = 4;

    AudioEngine();
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // "pulse", "portaudio", "silent" or "virtual".
    virtual const char* backendName() const = 0;

    // The output callback's work: the sum of all playing decks, clipped.
    void mixOutput(StereoFrame* out, std::size_t frames) final;

    // For DeckPlayer: a free deck (throws MediaError when all are taken).
    DeckChannel& attachPlayer(DeckPlayer& player);
    void detachPlayer(DeckPlayer& player);
    // For DeckPlayer, main thread: opens path for the player's deck on a
    // loader thread; the player's LoadFinished gets the answer. Starting a
    // load cancels the deck's earlier one.
    // Playback then begins startFrame frames into the file.
    void startLoad(DeckPlayer& player, const std::string& path, std::int64_t startFrame = 0);
    void cancelLoad(DeckPlayer& player);
    // Loads started and not yet answered or cancelled (main thread).
    int loadsPending() const;
    // Asks the producer to decode now (a deck was opened or started).
    virtual void wakeProducer() {}
    // A deck stopped or closed (the output may drop what it has queued).
    virtual void deckStopped() {}
    bool anyDeckPlaying() const override;
    std::size_t framesReady() const override;
    // Opens the sound device of an engine made to open it on request, without
    // waiting for it; the decks keep time on a silent clock until it plays.
    virtual void openDevice() {}
    // Main thread: a cross-fade placed on the output's sample timeline. The
    // incoming deck (open, stopped) starts on the very sample at which the
    // outgoing one reaches outgoingFrame of its file (at once when it is past
    // it or has ended; never while it is paused, and not at all once it is
    // closed), and from that sample the incoming deck's volume rises and the
    // outgoing one's falls, a FadePlan step every second. StartCrossFade
    // begins the fade of two decks at the next sample, whether the incoming
    // one plays already or not. One cross-fade is planned at a time: a new
    // one replaces it (its start replaces the fades of its two decks), and
    // CancelCrossFade drops one that waits. StopFades stops every running
    // fade where its steps stand and keeps a cue that waits. A cue at
    // kAfterLastFrame starts the incoming deck on the sample after the
    // outgoing one's last, whatever its decoded length: end to start.
    static constexpr std::int64_t kAfterLastFrame = -2;
    void cueCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing, std::int64_t outgoingFrame,
                      CrossFadeShape shape = {});
    void startCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing);
    void cancelCrossFade();
    void stopFades();
    // The final mix as the output plays it, for one reader (the broadcast).
    MixTap& tap() { return tap_; }

protected:
    // Main thread: hands each deck's ends of playback to its player.
    void deliverEndNotices();
    bool hasPendingEndNotices() const;
    DeckChannel& channel(int i) { return channels_[static_cast<std::size_t>(i)]; }

private:
    struct LoadJob {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    int slotOf(const DeckPlayer& player) const;
    void deliver(int slot, unsigned generation, std::unique_ptr<TrackDecoder> decoder,
                 std::int64_t startFrame, const LoadResult& result);
    void reapFinishedJobs();
    void postCue(int incoming, int outgoing, std::int64_t outgoingFrame, CrossFadeShape shape = {});
    // Output callback: takes a new cue, and starts the cued deck when its
    // sample falls in this period: sets started to its slot and returns how
    // many frames into the period it starts.
    std::size_t runCue(std::size_t frames, int& started);

    std::array<DeckChannel, kMaxDecks> channels_;
    MixTap tap_;
    // A cross-fade cue, from the main thread to the output callback: the
    // fields are written, then the serial; the callback takes them only when
    // the serial reads the same before and after.
    std::atomic<unsigned> cueSerial_{0};
    std::atomic<int> cueIncoming_{-1}; // -1: no cue (cancel)
    std::atomic<int> cueOutgoing_{-1};
    static constexpr std::int64_t kCueNow = -1;
    std::atomic<std::int64_t> cueFrame_{kCueNow};
    std::atomic<std::int64_t> cueInSteps_{FadePlan::kStepFrames};
    std::atomic<std::int64_t> cueOutSteps_{FadePlan::kStepFrames};
    std::atomic<unsigned> stopFadesSerial_{0};
    unsigned stopFadesSeen_ = 0; // the output callback's
    // The output callback's copy of the cue.
    unsigned cueSeen_ = 0;
    int cueIn_ = -1;
    int cueOut_ = -1;
    std::int64_t cueAt_ = -1;
    CrossFadeShape cueShape_;
    std::array<DeckPlayer*, kMaxDecks> players_{}; // main thread only
    // Main thread: each deck's load count and the cancel flag of its load.
    std::array<unsigned, kMaxDecks> loadGeneration_{};
    std::array<std::shared_ptr<std::atomic<bool>>, kMaxDecks> loadCancel_{};
    std::list<LoadJob> loadJobs_;
    std::unique_ptr<CallInbox> loadAnswers_; // lives on the main thread
};

// The engine the program should use, chosen by KOLVADECK_AUDIO (see above).
std::unique_ptr<AudioEngine> createAudioEngine();

} // namespace audio
