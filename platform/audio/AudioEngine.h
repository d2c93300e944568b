#pragma once

#include "platform/audio/AudioOutput.h"
#include "platform/audio/DeckChannel.h"

#include <array>
#include <memory>
#include <string>

namespace audio {

class TMediaPlayer;

// Mixes every open deck into one stereo 44.1 kHz output. Each deck is a
// TMediaPlayer made on this engine; the engine must outlive its players.
// Decoding happens outside the output callback (on the engine's decoder
// thread, or inside VirtualSoundCard::Render); the callback only adds ready
// frames times each deck's gain.
//
// Back ends (CreateAudioEngine picks one from the environment variable
// KOLVADECK_AUDIO):
//   unset     PortAudio's default output (PulseAudio/PipeWire through ALSA);
//             when no device opens, a silent real-time clock (said once on
//             standard error) so that the decks still keep time.
//   silent    the silent real-time clock without trying a device.
//   virtual   VirtualSoundCard: a clock the caller advances with Render().
class AudioEngine : public MixSource {
public:
    static constexpr int kMaxDecks = 4;

    AudioEngine() = default;
    ~AudioEngine() override = default;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // "portaudio", "silent" or "virtual".
    virtual const char* BackendName() const = 0;

    // The output callback's work: the sum of all playing decks, clipped.
    void MixOutput(StereoFrame* out, std::size_t frames) final;

    // For TMediaPlayer: a free deck (throws MediaError when all are taken).
    DeckChannel& AttachPlayer(TMediaPlayer& player);
    void DetachPlayer(TMediaPlayer& player);
    // Asks the producer to decode now (a deck was opened or started).
    virtual void WakeProducer() {}

protected:
    // Main thread: hands each deck's ends of playback to its player.
    void DeliverEndNotices();
    bool HasPendingEndNotices() const;
    DeckChannel& Channel(int i) { return channels_[static_cast<std::size_t>(i)]; }

private:
    std::array<DeckChannel, kMaxDecks> channels_;
    std::array<TMediaPlayer*, kMaxDecks> players_{}; // main thread only
};

// The engine the program should use, chosen by KOLVADECK_AUDIO (see above).
std::unique_ptr<AudioEngine> CreateAudioEngine();

} // namespace audio
