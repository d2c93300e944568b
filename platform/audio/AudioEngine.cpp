#include "platform/audio/AudioEngine.h"

#include "platform/CallInbox.h"
#include "platform/audio/DeckPlayer.h"
#include "platform/audio/MediaError.h"

#include <QObject>
#include <algorithm>
#include <cmath>

namespace audio {

AudioEngine::AudioEngine()
    : loadAnswers_(std::make_unique<CallInbox>()) {}

AudioEngine::~AudioEngine() {
    for (auto& cancel : loadCancel_)
        if (cancel)
            cancel->store(true);
    for (LoadJob& job : loadJobs_)
        job.thread.join();
    loadAnswers_.reset(); // drops answers still queued for this engine
}

int AudioEngine::slotOf(const DeckPlayer& player) const {
    for (std::size_t i = 0; i < players_.size(); ++i)
        if (players_[i] == &player)
            return static_cast<int>(i);
    throw MediaError("The deck does not belong to this engine");
}

void AudioEngine::reapFinishedJobs() {
    for (auto it = loadJobs_.begin(); it != loadJobs_.end();) {
        if (it->finished.load(std::memory_order_acquire)) {
            it->thread.join();
            it = loadJobs_.erase(it);
        } else {
            ++it;
        }
    }
}

void AudioEngine::startLoad(DeckPlayer& player, const std::string& path, std::int64_t startFrame) {
    const int slot = slotOf(player);
    cancelLoad(player);
    reapFinishedJobs();
    const unsigned generation = ++loadGeneration_[static_cast<std::size_t>(slot)];
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    loadCancel_[static_cast<std::size_t>(slot)] = cancel;
    LoadJob& job = loadJobs_.emplace_back();
    const auto started = std::chrono::steady_clock::now();
    job.thread = std::thread([this, &job, slot, generation, path, cancel, started, startFrame] {
        LoadResult result;
        // Shared so that the queued call can be copied; it moves the decoder out.
        auto decoder = std::make_shared<std::unique_ptr<TrackDecoder>>();
        try {
            *decoder = DeckChannel::openDecoder(path, cancel.get(), startFrame);
            result.loaded = true;
            result.lengthMs = static_cast<int>((*decoder)->lengthFrames() * 1000 / kOutputRate);
        } catch (const MediaError& error) {
            result.error = error.what();
            result.fault = error.fault();
        } catch (const std::exception& error) {
            result.error = error.what();
        }
        loadAnswers_->send(
            [this, slot, generation, decoder, result, started, startFrame]() mutable {
                result.took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
                deliver(slot, generation, std::move(*decoder), startFrame, std::move(result));
            });
        job.finished.store(true, std::memory_order_release);
    });
}

void AudioEngine::postCue(int incoming, int outgoing, std::int64_t outgoingFrame,
                          CrossFadeShape shape) {
    cueIncoming_.store(incoming, std::memory_order_relaxed);
    cueInSteps_.store(shape.incomingStepFrames, std::memory_order_relaxed);
    cueOutSteps_.store(shape.outgoingStepFrames, std::memory_order_relaxed);
    cueOutgoing_.store(outgoing, std::memory_order_relaxed);
    cueFrame_.store(outgoingFrame, std::memory_order_relaxed);
    cueSerial_.fetch_add(1, std::memory_order_release);
}

void AudioEngine::cueCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing,
                               std::int64_t outgoingFrame, CrossFadeShape shape) {
    postCue(slotOf(incoming), slotOf(outgoing),
            outgoingFrame == kAfterLastFrame ? outgoingFrame
                                             : std::max<std::int64_t>(outgoingFrame, 0),
            shape);
    wakeProducer();
}

void AudioEngine::startCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing) {
    postCue(slotOf(incoming), slotOf(outgoing), kCueNow);
    wakeProducer();
}

void AudioEngine::cancelCrossFade() {
    postCue(-1, -1, -1);
}

void AudioEngine::stopFades() {
    stopFadesSerial_.fetch_add(1, std::memory_order_release);
}

std::size_t AudioEngine::runCue(std::size_t frames, int& started) {
    const unsigned serial = cueSerial_.load(std::memory_order_acquire);
    if (serial != cueSeen_) {
        const int in = cueIncoming_.load(std::memory_order_relaxed);
        const int outgoing = cueOutgoing_.load(std::memory_order_relaxed);
        const std::int64_t at = cueFrame_.load(std::memory_order_relaxed);
        const CrossFadeShape shape{cueInSteps_.load(std::memory_order_relaxed),
                                   cueOutSteps_.load(std::memory_order_relaxed)};
        if (cueSerial_.load(std::memory_order_acquire) != serial)
            return 0; // written meanwhile: taken next period
        cueSeen_ = serial;
        cueIn_ = in;
        cueOut_ = outgoing;
        cueAt_ = at;
        cueShape_ = shape;
    }
    if (cueIn_ < 0)
        return 0;
    DeckChannel& in = channels_[static_cast<std::size_t>(cueIn_)];
    DeckChannel& out = channels_[static_cast<std::size_t>(cueOut_)];
    auto drop = [this] { cueIn_ = -1; };
    if (!in.isOpen()) {
        drop();
        return 0;
    }
    std::int64_t offset = 0;
    std::int64_t outStart = out.renderedFrames();
    if (cueAt_ == kCueNow && !in.isPlaying())
        return 0; // a fade of a deck that was paused waits until it plays
    if (!in.isPlaying()) {
        if (!out.isOpen()) {
            drop();
            return 0;
        }
        if (!out.hasEnded()) {
            if (!out.isPlaying())
                return 0; // paused: the cue waits with it
            // End to start: on the sample after the last one decoded.
            const std::int64_t left = out.framesLeftIfDecoded();
            if (cueAt_ == kAfterLastFrame && left < 0)
                return 0;
            offset =
                cueAt_ == kAfterLastFrame ? left : std::max<std::int64_t>(cueAt_ - outStart, 0);
            if (offset >= static_cast<std::int64_t>(frames))
                return 0;
            outStart += offset;
        }
    }
    if (!in.isPlaying()) {
        in.takeEndNotices(); // an end not yet delivered belongs to its earlier play
        in.startFromMix();
    }
    in.beginFade(+1, in.renderedFrames(), cueShape_.incomingStepFrames);
    out.beginFade(-1, outStart, cueShape_.outgoingStepFrames);
    started = cueIn_;
    drop();
    return static_cast<std::size_t>(offset);
}

void AudioEngine::mixOutput(StereoFrame* out, std::size_t frames) {
    std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
    const unsigned stopFades = stopFadesSerial_.load(std::memory_order_acquire);
    if (stopFades != stopFadesSeen_) {
        stopFadesSeen_ = stopFades;
        for (auto& channel : channels_)
            channel.endFade();
    }
    int starting = -1;
    const std::size_t startAt = runCue(frames, starting);
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        // A deck its cue started in this period joins on the cue's sample.
        const std::size_t skip = static_cast<int>(i) == starting ? startAt : 0;
        channels_[i].mixInto(out + skip, frames - skip);
    }
    // A sample that is no number (a damaged stream, a broken gain) becomes
    // silence: std::clamp would pass it on to the sound card.
    auto limit = [](float x) { return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f); };
    for (std::size_t i = 0; i < frames; ++i) {
        out[i].left = limit(out[i].left);
        out[i].right = limit(out[i].right);
    }
    tap_.write(out, frames);
}

bool AudioEngine::anyDeckPlaying() const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [](const DeckChannel& channel) { return channel.isPlaying(); });
}

std::size_t AudioEngine::framesReady() const {
    std::size_t ready = SIZE_MAX;
    for (const DeckChannel& channel : channels_)
        if (channel.isPlaying())
            ready = std::min(ready, channel.framesReady());
    return ready;
}

void AudioEngine::cancelLoad(DeckPlayer& player) {
    const auto slot = static_cast<std::size_t>(slotOf(player));
    ++loadGeneration_[slot];
    if (loadCancel_[slot])
        loadCancel_[slot]->store(true);
    loadCancel_[slot].reset();
}

int AudioEngine::loadsPending() const {
    return static_cast<int>(std::count_if(loadCancel_.begin(), loadCancel_.end(),
                                          [](const auto& cancel) { return cancel != nullptr; }));
}

void AudioEngine::deliver(int slot, unsigned generation, std::unique_ptr<TrackDecoder> decoder,
                          std::int64_t startFrame, const LoadResult& result) {
    const auto i = static_cast<std::size_t>(slot);
    if (generation != loadGeneration_[i] || !players_[i])
        return; // a stale answer: the deck was closed or loaded again meanwhile
    loadCancel_[i].reset();
    if (decoder) {
        channels_[i].install(std::move(decoder), startFrame);
        wakeProducer(); // decode ahead before the player is asked to play
    }
    players_[i]->loadFinished(result);
}

DeckChannel& AudioEngine::attachPlayer(DeckPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (!players_[i]) {
            players_[i] = &player;
            return channels_[i];
        }
    }
    throw MediaError("No free deck in the audio engine");
}

void AudioEngine::detachPlayer(DeckPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (players_[i] == &player) {
            ++loadGeneration_[i];
            if (loadCancel_[i])
                loadCancel_[i]->store(true);
            loadCancel_[i].reset();
            channels_[i].close();
            players_[i] = nullptr;
        }
    }
}

bool AudioEngine::hasPendingEndNotices() const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [](const DeckChannel& c) { return c.hasEndNotices(); });
}

void AudioEngine::deliverEndNotices() {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (channels_[i].takeEndNotices() > 0 && players_[i])
            players_[i]->notifyEnd();
    }
}

} // namespace audio
