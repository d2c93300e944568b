#include "broadcast/BroadcastMix.h"

#include <algorithm>
#include <cstring>

using audio::StereoFrame;

BroadcastMix::BroadcastMix(audio::MixTap& tap, const DuckingSettings& ducking)
    : tap_(&tap)
    , talkOver_(ducking, kRate) {}

BroadcastMix::~BroadcastMix() {
    stop();
}

audio::Status BroadcastMix::openMicrophone(int device) {
    const audio::CaptureFormat format{kRate, 2, audio::SampleType::Int16};
    return audio::openInputCapture(
        device, format, kMicBlockFrames * std::size_t(format.bytesPerFrame()),
        [this](std::span<const char> block) { micBlock(block); }, mic_);
}

void BroadcastMix::addSink(std::shared_ptr<MixSink> sink) {
    sinks_.push_back(std::move(sink));
}

void BroadcastMix::start() {
    {
        std::lock_guard lock(tapLock_);
        if (tap_)
            tap_->start();
    }
    if (mic_)
        mic_->start();
}

void BroadcastMix::stop() {
    if (mic_)
        mic_->stop();
    std::lock_guard lock(tapLock_);
    if (tap_)
        tap_->stop();
    tap_ = nullptr;
}

// Microphone thread: 16-bit stereo into the ring; a block that finds the ring
// full is dropped (the mix thread has stalled, and will trim anyway).
void BroadcastMix::micBlock(std::span<const char> block) {
    const std::size_t frames = block.size() / 4;
    if (micRing_.writable() < frames)
        return;
    std::size_t done = 0;
    while (done < frames) {
        const auto span = micRing_.writeSpan();
        const std::size_t n = std::min(span.size(), frames - done);
        for (std::size_t i = 0; i < n; ++i) {
            std::int16_t s[2];
            std::memcpy(s, block.data() + (done + i) * 4, 4);
            span[i] = {float(s[0]) / 32768.0f, float(s[1]) / 32768.0f};
        }
        micRing_.commitWrite(n);
        done += n;
    }
}

std::size_t BroadcastMix::PrimedSource::take(std::size_t readable, std::size_t wanted) {
    if (!primed && readable >= kPrimeFrames)
        primed = true;
    if (!primed)
        return 0;
    if (readable < wanted)
        primed = false; // ran dry: silence until it holds enough again
    return std::min(readable, wanted);
}

std::size_t BroadcastMix::readTap(StereoFrame* out, std::size_t frames) {
    std::lock_guard lock(tapLock_);
    if (!tap_)
        return 0;
    // Far ahead: drop the oldest, down to the primed depth.
    for (std::size_t over = tap_->readable(); over > kMaxTapBacklog;) {
        const std::size_t skip = std::min(over - kPrimeFrames, frames);
        tap_->read(out, skip);
        over -= skip;
    }
    return tap_->read(out, tapSource_.take(tap_->readable(), frames));
}

std::size_t BroadcastMix::readMic(StereoFrame* out, std::size_t frames) {
    if (micRing_.readable() > kMaxMicBacklog)
        micRing_.commitRead(micRing_.readable() - kPrimeFrames);
    std::size_t done = 0;
    const std::size_t wanted = micSource_.take(micRing_.readable(), frames);
    while (done < wanted) {
        const auto span = micRing_.readSpan();
        const std::size_t n = std::min(span.size(), wanted - done);
        std::copy_n(span.data(), n, out + done);
        micRing_.commitRead(n);
        done += n;
    }
    return done;
}

void BroadcastMix::pump(std::size_t frames) {
    decks_.resize(frames);
    micFrames_.resize(frames);
    mixed_.resize(frames);
    const std::size_t fromTap = readTap(decks_.data(), frames);
    std::fill(decks_.begin() + std::ptrdiff_t(fromTap), decks_.end(), StereoFrame{0, 0});
    const std::size_t fromMic = readMic(micFrames_.data(), frames);
    std::fill(micFrames_.begin() + std::ptrdiff_t(fromMic), micFrames_.end(), StereoFrame{0, 0});
    talkOver_.mix(decks_.data(), micFrames_.data(), mixed_.data(), frames);
    for (const auto& sink : sinks_)
        sink->write(mixed_.data(), frames);
}
