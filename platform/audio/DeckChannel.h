#pragma once

#include "platform/audio/GainCurve.h"
#include "platform/audio/SpscRing.h"
#include "platform/audio/StereoFrame.h"
#include "platform/audio/TrackDecoder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace audio {

// The engine's side of one deck: a decoder, the ring of decoded frames and the
// state the three threads share.
//
//   main thread   Open/Close/Play/Stop/SetVolume, reads Position.
//   producer      Refill: decodes into the ring (the engine's decoder thread,
//                 or the test's thread inside a virtual Render).
//   consumer      MixInto: the sound callback; reads the ring, applies the gain.
//
// decodeMutex_ keeps the producer off the decoder while the main thread swaps
// files. Files are opened and scanned elsewhere (OpenDecoder, on a loader
// thread) and only installed here. mixMutex_ keeps the consumer off the ring while it is reset; the
// consumer only ever try_locks it and skips the deck for one period when the
// main thread holds it, so the callback never waits.
class DeckChannel {
public:
    static constexpr std::size_t kRingFrames = 1 << 16; // ~1.5 s

    DeckChannel()
        : ring_(kRingFrames) {}

    // Any thread: opens and scans a file of any playable format (slow: reads
    // all of it), then decodes and drops its first startFrame frames so that
    // playback begins there. Throws MediaError. Touches no channel state.
    static std::unique_ptr<TrackDecoder> openDecoder(const std::string& path,
                                                     const std::atomic<bool>* cancel = nullptr,
                                                     std::int64_t startFrame = 0);

    // Main thread.
    void open(const std::string& path); // blocks; throws MediaError, leaves the deck closed
    // Puts a decoder OpenDecoder made in place of the deck's file: quick.
    // startFrame is where that decoder stands: the deck's position begins there.
    void install(std::unique_ptr<TrackDecoder> decoder, std::int64_t startFrame = 0);
    void close();
    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    void play();
    void stop();
    bool isPlaying() const { return playing_.load(std::memory_order_acquire); }
    std::int64_t lengthFrames() const { return lengthFrames_; }
    std::int64_t positionFrames() const;
    void setVolume(int volume) { volume_.store(volume, std::memory_order_relaxed); }
    int volume() const { return volume_.load(std::memory_order_relaxed); }
    // The track's own gain (linear, from loudness normalisation), multiplied
    // with the volume's gain and ramped with it. 1 as a deck opens.
    void setTrackGain(float factor) { trackGain_.store(factor, std::memory_order_relaxed); }
    float trackGain() const { return trackGain_.load(std::memory_order_relaxed); }
    // Ends of playback not yet handed to the owner; resets the count.
    int takeEndNotices();
    bool hasEndNotices() const { return endNotices_.load(std::memory_order_acquire) > 0; }

    // Producer: decodes until the ring holds at least wantFrames (or is full,
    // or the file ended). Returns the frames decoded. Only for an open deck
    // that plays or is about to.
    std::size_t refill(std::size_t wantFrames);
    bool wantsData() const;

    // Consumer: adds this deck's next frames, times its gain, to out.
    void mixInto(StereoFrame* out, std::size_t frames);
    // Consumer: starts a deck that waited for its cue (as Play does).
    void startFromMix() { play(); }
    bool hasEnded() const { return ended_.load(std::memory_order_acquire); }
    // Consumer: the frames left to play once the whole file is decoded;
    // -1 while the decoder still has frames to give.
    std::int64_t framesLeftIfDecoded() const;
    // Consumer: the frames it can give before it runs short; SIZE_MAX once
    // the whole file is decoded (its end is no shortage).
    std::size_t framesReady() const;
    // Frames of the file given to the output so far (where it stands).
    std::int64_t renderedFrames() const { return rendered_.load(std::memory_order_relaxed); }
    // Consumer: from the deck's frame startFrame on, its volume follows a
    // cross-fade (FadePlan) from the volume it has, in direction +1 or -1,
    // a step every stepFrames; each step's volume is published for Volume().
    // A volume set from the main thread meanwhile ends the fade and stands.
    // EndFade leaves the volume of the step reached. With stepFrames 0 the
    // deck goes to full volume or silence at once, without a ramp (a
    // gapless join must not touch a sample).
    void beginFade(int direction, std::int64_t startFrame,
                   std::int64_t stepFrames = FadePlan::kStepFrames);
    void endFade();
    bool isFading() const { return fading_.load(std::memory_order_acquire); }

private:
    void resetLocked();
    void addWithGain(StereoFrame* out, const StereoFrame* in, std::size_t n);
    // Adds n frames that start at the deck's frame position under the fade;
    // returns how many it added before the fade ended.
    std::size_t addFading(StereoFrame* out, const StereoFrame* in, std::size_t n,
                          std::int64_t position);
    void publishFadeStep(std::int64_t position);
    void endFadeLocked();

    std::mutex decodeMutex_;
    std::mutex mixMutex_;
    std::unique_ptr<TrackDecoder> decoder_; // null while closed
    SpscRing<StereoFrame> ring_;
    GainRamp ramp_;              // consumer's, reset under mixMutex_
    FadePlan fade_;              // consumer's, while fading_
    std::int64_t fadeStart_ = 0; // consumer's: the deck frame the fade counts from
    int fadeVolume_ = 0;         // consumer's: the step volume it last published
    std::atomic<bool> fading_{false};
    std::int64_t lengthFrames_ = 0; // written under both locks while closed
    std::atomic<bool> open_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> decodeDone_{false}; // producer: the decoder gave its last frame
    std::atomic<bool> ended_{false};      // consumer: every frame was played
    std::atomic<int> volume_{1000};
    std::atomic<float> trackGain_{1.0f};
    std::atomic<std::int64_t> rendered_{0}; // frames this deck gave to the output
    std::atomic<int> endNotices_{0};
};

} // namespace audio
