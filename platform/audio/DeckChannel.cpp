#include "platform/audio/DeckChannel.h"

#include "platform/audio/MediaError.h"
#include "platform/audio/UnderrunCount.h"

#include <algorithm>
#include <vector>

namespace audio {

void DeckChannel::resetLocked() {
    playing_.store(false, std::memory_order_release);
    open_.store(false, std::memory_order_release);
    decoder_.reset();
    ring_.reset();
    lengthFrames_ = 0;
    rendered_.store(0, std::memory_order_relaxed);
    decodeDone_.store(false, std::memory_order_relaxed);
    ended_.store(false, std::memory_order_relaxed);
    endNotices_.store(0, std::memory_order_relaxed);
    // Every start fades in from silence over the ramp, so that a deck opened
    // and then set to volume 0 at once gives no burst.
    ramp_.jump(0.0f);
    fading_.store(false, std::memory_order_release);
}

std::unique_ptr<TrackDecoder> DeckChannel::openDecoder(const std::string& path,
                                                       const std::atomic<bool>* cancel,
                                                       std::int64_t startFrame) {
    std::unique_ptr<TrackDecoder> decoder = makeTrackDecoder(path);
    decoder->open(path, cancel);
    // Decode and drop up to the start: exact for every format, and cheap
    // (a few seconds of sound decode in milliseconds).
    std::vector<StereoFrame> scratch(4096);
    std::int64_t left = std::min(startFrame, decoder->lengthFrames());
    while (left > 0 && !decoder->finished()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw MediaError("The load was cancelled: " + path);
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(scratch.size())));
        const std::size_t got = decoder->decode(scratch.data(), want);
        if (got == 0 && decoder->finished())
            break;
        left -= static_cast<std::int64_t>(got);
    }
    return decoder;
}

void DeckChannel::open(const std::string& path) {
    close();
    install(openDecoder(path));
}

void DeckChannel::install(std::unique_ptr<TrackDecoder> decoder, std::int64_t startFrame) {
    std::lock_guard decodeLock(decodeMutex_);
    {
        std::lock_guard mixLock(mixMutex_);
        resetLocked();
    }
    lengthFrames_ = decoder->lengthFrames();
    decoder_ = std::move(decoder);
    rendered_.store(std::clamp<std::int64_t>(startFrame, 0, lengthFrames_),
                    std::memory_order_relaxed);
    trackGain_.store(1.0f, std::memory_order_relaxed);
    volume_.store(1000, std::memory_order_relaxed); // a freshly opened device plays at full volume
    open_.store(true, std::memory_order_release);
}

void DeckChannel::close() {
    std::lock_guard decodeLock(decodeMutex_);
    std::lock_guard mixLock(mixMutex_);
    resetLocked();
}

void DeckChannel::play() {
    ended_.store(false, std::memory_order_relaxed);
    playing_.store(true, std::memory_order_release);
}

void DeckChannel::stop() {
    playing_.store(false, std::memory_order_release);
}

std::int64_t DeckChannel::positionFrames() const {
    // Decoded frames can differ from the scanned length by a few samples; a
    // deck that played to its end stands exactly at its length.
    if (ended_.load(std::memory_order_acquire))
        return lengthFrames_;
    return std::min(rendered_.load(std::memory_order_relaxed), lengthFrames_);
}

std::int64_t DeckChannel::framesLeftIfDecoded() const {
    return decodeDone_.load(std::memory_order_acquire) ? std::int64_t(ring_.readable()) : -1;
}

std::size_t DeckChannel::framesReady() const {
    return decodeDone_.load(std::memory_order_acquire) ? SIZE_MAX : ring_.readable();
}

int DeckChannel::takeEndNotices() {
    return endNotices_.exchange(0, std::memory_order_acq_rel);
}

bool DeckChannel::wantsData() const {
    return open_.load(std::memory_order_acquire) && !decodeDone_.load(std::memory_order_relaxed) &&
           ring_.writable() > 0;
}

std::size_t DeckChannel::refill(std::size_t wantFrames) {
    std::lock_guard decodeLock(decodeMutex_);
    if (!open_.load(std::memory_order_acquire))
        return 0;
    std::size_t total = 0;
    wantFrames = std::min(wantFrames, ring_.capacity());
    while (!decodeDone_.load(std::memory_order_relaxed) && ring_.readable() < wantFrames) {
        auto span = ring_.writeSpan();
        if (span.empty())
            break;
        const std::size_t got = decoder_->decode(span.data(), span.size());
        ring_.commitWrite(got);
        total += got;
        // Published after the last frame, so the consumer that sees the flag
        // also sees every frame.
        if (decoder_->finished())
            decodeDone_.store(true, std::memory_order_release);
    }
    return total;
}

void DeckChannel::addWithGain(StereoFrame* out, const StereoFrame* in, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && ramp_.ramping(); ++i) {
        const float g = ramp_.next();
        out[i].left += in[i].left * g;
        out[i].right += in[i].right * g;
    }
    // Steady gain: a plain loop the compiler vectorises; silence adds nothing.
    const float g = ramp_.current();
    if (g == 0.0f)
        return;
    for (; i < n; ++i) {
        out[i].left += in[i].left * g;
        out[i].right += in[i].right * g;
    }
}

// The consumer's fade calls try the lock the main thread holds while it
// swaps the deck's file, as MixInto does: a deck being swapped is skipped.
void DeckChannel::beginFade(int direction, std::int64_t startFrame, std::int64_t stepFrames) {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (!mixLock.owns_lock() || !open_.load(std::memory_order_acquire))
        return;
    fade_ = {volume_.load(std::memory_order_relaxed), direction, stepFrames};
    if (stepFrames <= 0) {
        const int volume = fade_.volumeAt(0);
        volume_.store(volume, std::memory_order_relaxed);
        fading_.store(false, std::memory_order_release);
        ramp_.jump(volumeToGain(volume) * trackGain_.load(std::memory_order_relaxed));
        return;
    }
    fadeStart_ = startFrame;
    fadeVolume_ = fade_.from;
    fading_.store(fade_.lengthFrames() > 0, std::memory_order_release);
}

void DeckChannel::endFade() {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (mixLock.owns_lock())
        endFadeLocked();
}

void DeckChannel::endFadeLocked() {
    if (!fading_.load(std::memory_order_relaxed))
        return;
    fading_.store(false, std::memory_order_release);
    // The gain goes on from where the glide stood, towards the step's volume.
    ramp_.jump(fade_.gainAt(renderedFrames() - fadeStart_) *
               trackGain_.load(std::memory_order_relaxed));
}

// At each step the step's volume is published, unless the main thread set
// one of its own meanwhile: that one stands and the fade ends.
void DeckChannel::publishFadeStep(std::int64_t position) {
    const std::int64_t elapsed = position - fadeStart_;
    const int volume = fade_.volumeAt(elapsed);
    if (volume != fadeVolume_) {
        int expected = fadeVolume_;
        if (!volume_.compare_exchange_strong(expected, volume, std::memory_order_relaxed)) {
            endFadeLocked();
            return;
        }
        fadeVolume_ = volume;
    }
    if (elapsed >= fade_.lengthFrames()) {
        fading_.store(false, std::memory_order_release);
        ramp_.jump(volumeToGain(volume) * trackGain_.load(std::memory_order_relaxed));
    }
}

std::size_t DeckChannel::addFading(StereoFrame* out, const StereoFrame* in, std::size_t n,
                                   std::int64_t position) {
    const float trackGain = trackGain_.load(std::memory_order_relaxed);
    std::size_t i = 0;
    while (i < n && fading_.load(std::memory_order_relaxed)) {
        const std::int64_t elapsed = position + static_cast<std::int64_t>(i) - fadeStart_;
        // Up to the fade's start, or to the next step: the glide is a straight
        // line in between.
        const std::int64_t toEdge =
            elapsed < 0 ? -elapsed : fade_.stepFrames - elapsed % fade_.stepFrames;
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(toEdge, static_cast<std::int64_t>(n - i)));
        const float g0 = fade_.gainAt(elapsed) * trackGain;
        const float g1 = fade_.gainAt(elapsed + static_cast<std::int64_t>(chunk)) * trackGain;
        const float slope = (g1 - g0) / static_cast<float>(chunk);
        for (std::size_t j = 0; j < chunk; ++j) {
            const float g = g0 + slope * static_cast<float>(j);
            out[i + j].left += in[i + j].left * g;
            out[i + j].right += in[i + j].right * g;
        }
        i += chunk;
        publishFadeStep(position + static_cast<std::int64_t>(i));
    }
    return i;
}

void DeckChannel::mixInto(StereoFrame* out, std::size_t frames) {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (!mixLock.owns_lock() || !playing_.load(std::memory_order_acquire))
        return;
    // A volume the main thread set since the last step ends the fade.
    if (fading_.load(std::memory_order_relaxed) &&
        volume_.load(std::memory_order_relaxed) != fadeVolume_)
        endFadeLocked();
    if (!fading_.load(std::memory_order_relaxed))
        ramp_.setTarget(volumeToGain(volume_.load(std::memory_order_relaxed)) *
                        trackGain_.load(std::memory_order_relaxed));
    // Read the flag before the ring: frames committed before it are visible.
    const bool done = decodeDone_.load(std::memory_order_acquire);
    const std::int64_t start = rendered_.load(std::memory_order_relaxed);
    std::size_t mixed = 0;
    while (mixed < frames) {
        auto span = ring_.readSpan();
        const std::size_t n = std::min(span.size(), frames - mixed);
        if (n == 0)
            break;
        std::size_t faded = 0;
        if (fading_.load(std::memory_order_relaxed))
            faded =
                addFading(out + mixed, span.data(), n, start + static_cast<std::int64_t>(mixed));
        addWithGain(out + mixed + faded, span.data() + faded, n - faded);
        ring_.commitRead(n);
        mixed += n;
    }
    const std::int64_t before =
        rendered_.fetch_add(static_cast<std::int64_t>(mixed), std::memory_order_relaxed);
    // A deck that has started and is short of frames before its end leaves
    // a gap of silence (one that has not started yet merely starts later).
    if (mixed < frames && !done && before + static_cast<std::int64_t>(mixed) > 0)
        countUnderrun();
    if (mixed < frames && done && ring_.readable() == 0) {
        playing_.store(false, std::memory_order_release);
        ended_.store(true, std::memory_order_release);
        endNotices_.fetch_add(1, std::memory_order_acq_rel);
    }
}

} // namespace audio
