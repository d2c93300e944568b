#include "platform/audio/DeckChannel.h"

#include "platform/audio/MediaError.h"
#include "platform/audio/UnderrunCount.h"

#include <algorithm>
#include <vector>

namespace audio {

void DeckChannel::ResetLocked() {
    playing_.store(false, std::memory_order_release);
    open_.store(false, std::memory_order_release);
    decoder_.reset();
    ring_.Reset();
    lengthFrames_ = 0;
    rendered_.store(0, std::memory_order_relaxed);
    decodeDone_.store(false, std::memory_order_relaxed);
    ended_.store(false, std::memory_order_relaxed);
    endNotices_.store(0, std::memory_order_relaxed);
    // Every start fades in from silence over the ramp, so that a deck opened
    // and then set to volume 0 at once gives no burst.
    ramp_.Jump(0.0f);
    fading_.store(false, std::memory_order_release);
}

std::unique_ptr<TrackDecoder> DeckChannel::OpenDecoder(const std::string& path,
                                                       const std::atomic<bool>* cancel,
                                                       std::int64_t startFrame) {
    std::unique_ptr<TrackDecoder> decoder = MakeTrackDecoder(path);
    decoder->Open(path, cancel);
    // Decode and drop up to the start: exact for every format, and cheap
    // (a few seconds of sound decode in milliseconds).
    std::vector<StereoFrame> scratch(4096);
    std::int64_t left = std::min(startFrame, decoder->LengthFrames());
    while (left > 0 && !decoder->Finished()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw MediaError("The load was cancelled: " + path);
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(scratch.size())));
        const std::size_t got = decoder->Decode(scratch.data(), want);
        if (got == 0 && decoder->Finished())
            break;
        left -= static_cast<std::int64_t>(got);
    }
    return decoder;
}

void DeckChannel::Open(const std::string& path) {
    Close();
    Install(OpenDecoder(path));
}

void DeckChannel::Install(std::unique_ptr<TrackDecoder> decoder, std::int64_t startFrame) {
    std::lock_guard decodeLock(decodeMutex_);
    {
        std::lock_guard mixLock(mixMutex_);
        ResetLocked();
    }
    lengthFrames_ = decoder->LengthFrames();
    decoder_ = std::move(decoder);
    rendered_.store(std::clamp<std::int64_t>(startFrame, 0, lengthFrames_),
                    std::memory_order_relaxed);
    trackGain_.store(1.0f, std::memory_order_relaxed);
    volume_.store(1000, std::memory_order_relaxed); // a freshly opened device plays at full volume
    open_.store(true, std::memory_order_release);
}

void DeckChannel::Close() {
    std::lock_guard decodeLock(decodeMutex_);
    std::lock_guard mixLock(mixMutex_);
    ResetLocked();
}

void DeckChannel::Play() {
    ended_.store(false, std::memory_order_relaxed);
    playing_.store(true, std::memory_order_release);
}

void DeckChannel::Stop() {
    playing_.store(false, std::memory_order_release);
}

std::int64_t DeckChannel::PositionFrames() const {
    // Decoded frames can differ from the scanned length by a few samples; a
    // deck that played to its end stands exactly at its length.
    if (ended_.load(std::memory_order_acquire))
        return lengthFrames_;
    return std::min(rendered_.load(std::memory_order_relaxed), lengthFrames_);
}

std::int64_t DeckChannel::FramesLeftIfDecoded() const {
    return decodeDone_.load(std::memory_order_acquire) ? std::int64_t(ring_.Readable()) : -1;
}

std::size_t DeckChannel::FramesReady() const {
    return decodeDone_.load(std::memory_order_acquire) ? SIZE_MAX : ring_.Readable();
}

int DeckChannel::TakeEndNotices() {
    return endNotices_.exchange(0, std::memory_order_acq_rel);
}

bool DeckChannel::WantsData() const {
    return open_.load(std::memory_order_acquire) && !decodeDone_.load(std::memory_order_relaxed) &&
           ring_.Writable() > 0;
}

std::size_t DeckChannel::Refill(std::size_t wantFrames) {
    std::lock_guard decodeLock(decodeMutex_);
    if (!open_.load(std::memory_order_acquire))
        return 0;
    std::size_t total = 0;
    wantFrames = std::min(wantFrames, ring_.Capacity());
    while (!decodeDone_.load(std::memory_order_relaxed) && ring_.Readable() < wantFrames) {
        auto span = ring_.WriteSpan();
        if (span.empty())
            break;
        const std::size_t got = decoder_->Decode(span.data(), span.size());
        ring_.CommitWrite(got);
        total += got;
        // Published after the last frame, so the consumer that sees the flag
        // also sees every frame.
        if (decoder_->Finished())
            decodeDone_.store(true, std::memory_order_release);
    }
    return total;
}

void DeckChannel::AddWithGain(StereoFrame* out, const StereoFrame* in, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && ramp_.Ramping(); ++i) {
        const float g = ramp_.Next();
        out[i].left += in[i].left * g;
        out[i].right += in[i].right * g;
    }
    // Steady gain: a plain loop the compiler vectorises; silence adds nothing.
    const float g = ramp_.Current();
    if (g == 0.0f)
        return;
    for (; i < n; ++i) {
        out[i].left += in[i].left * g;
        out[i].right += in[i].right * g;
    }
}

// The consumer's fade calls try the lock the main thread holds while it
// swaps the deck's file, as MixInto does: a deck being swapped is skipped.
void DeckChannel::BeginFade(int direction, std::int64_t startFrame, std::int64_t stepFrames) {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (!mixLock.owns_lock() || !open_.load(std::memory_order_acquire))
        return;
    fade_ = {volume_.load(std::memory_order_relaxed), direction, stepFrames};
    if (stepFrames <= 0) {
        const int volume = fade_.VolumeAt(0);
        volume_.store(volume, std::memory_order_relaxed);
        fading_.store(false, std::memory_order_release);
        ramp_.Jump(VolumeToGain(volume) * trackGain_.load(std::memory_order_relaxed));
        return;
    }
    fadeStart_ = startFrame;
    fadeVolume_ = fade_.from;
    fading_.store(fade_.LengthFrames() > 0, std::memory_order_release);
}

void DeckChannel::EndFade() {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (mixLock.owns_lock())
        EndFadeLocked();
}

void DeckChannel::EndFadeLocked() {
    if (!fading_.load(std::memory_order_relaxed))
        return;
    fading_.store(false, std::memory_order_release);
    // The gain goes on from where the glide stood, towards the step's volume.
    ramp_.Jump(fade_.GainAt(RenderedFrames() - fadeStart_) *
               trackGain_.load(std::memory_order_relaxed));
}

// At each step the step's volume is published, unless the main thread set
// one of its own meanwhile: that one stands and the fade ends.
void DeckChannel::PublishFadeStep(std::int64_t position) {
    const std::int64_t elapsed = position - fadeStart_;
    const int volume = fade_.VolumeAt(elapsed);
    if (volume != fadeVolume_) {
        int expected = fadeVolume_;
        if (!volume_.compare_exchange_strong(expected, volume, std::memory_order_relaxed)) {
            EndFadeLocked();
            return;
        }
        fadeVolume_ = volume;
    }
    if (elapsed >= fade_.LengthFrames()) {
        fading_.store(false, std::memory_order_release);
        ramp_.Jump(VolumeToGain(volume) * trackGain_.load(std::memory_order_relaxed));
    }
}

std::size_t DeckChannel::AddFading(StereoFrame* out, const StereoFrame* in, std::size_t n,
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
        const float g0 = fade_.GainAt(elapsed) * trackGain;
        const float g1 = fade_.GainAt(elapsed + static_cast<std::int64_t>(chunk)) * trackGain;
        const float slope = (g1 - g0) / static_cast<float>(chunk);
        for (std::size_t j = 0; j < chunk; ++j) {
            const float g = g0 + slope * static_cast<float>(j);
            out[i + j].left += in[i + j].left * g;
            out[i + j].right += in[i + j].right * g;
        }
        i += chunk;
        PublishFadeStep(position + static_cast<std::int64_t>(i));
    }
    return i;
}

void DeckChannel::MixInto(StereoFrame* out, std::size_t frames) {
    std::unique_lock mixLock(mixMutex_, std::try_to_lock);
    if (!mixLock.owns_lock() || !playing_.load(std::memory_order_acquire))
        return;
    // A volume the main thread set since the last step ends the fade.
    if (fading_.load(std::memory_order_relaxed) &&
        volume_.load(std::memory_order_relaxed) != fadeVolume_)
        EndFadeLocked();
    if (!fading_.load(std::memory_order_relaxed))
        ramp_.SetTarget(VolumeToGain(volume_.load(std::memory_order_relaxed)) *
                        trackGain_.load(std::memory_order_relaxed));
    // Read the flag before the ring: frames committed before it are visible.
    const bool done = decodeDone_.load(std::memory_order_acquire);
    const std::int64_t start = rendered_.load(std::memory_order_relaxed);
    std::size_t mixed = 0;
    while (mixed < frames) {
        auto span = ring_.ReadSpan();
        const std::size_t n = std::min(span.size(), frames - mixed);
        if (n == 0)
            break;
        std::size_t faded = 0;
        if (fading_.load(std::memory_order_relaxed))
            faded =
                AddFading(out + mixed, span.data(), n, start + static_cast<std::int64_t>(mixed));
        AddWithGain(out + mixed + faded, span.data() + faded, n - faded);
        ring_.CommitRead(n);
        mixed += n;
    }
    const std::int64_t before =
        rendered_.fetch_add(static_cast<std::int64_t>(mixed), std::memory_order_relaxed);
    // A deck that has started and is short of frames before its end leaves
    // a gap of silence (one that has not started yet merely starts later).
    if (mixed < frames && !done && before + static_cast<std::int64_t>(mixed) > 0)
        CountUnderrun();
    if (mixed < frames && done && ring_.Readable() == 0) {
        playing_.store(false, std::memory_order_release);
        ended_.store(true, std::memory_order_release);
        endNotices_.fetch_add(1, std::memory_order_acq_rel);
    }
}

} // namespace audio
