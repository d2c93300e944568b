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

int AudioEngine::SlotOf(const DeckPlayer& player) const {
    for (std::size_t i = 0; i < players_.size(); ++i)
        if (players_[i] == &player)
            return static_cast<int>(i);
    throw MediaError("The deck does not belong to this engine");
}

void AudioEngine::ReapFinishedJobs() {
    for (auto it = loadJobs_.begin(); it != loadJobs_.end();) {
        if (it->finished.load(std::memory_order_acquire)) {
            it->thread.join();
            it = loadJobs_.erase(it);
        } else {
            ++it;
        }
    }
}

void AudioEngine::StartLoad(DeckPlayer& player, const std::string& path, std::int64_t startFrame) {
    const int slot = SlotOf(player);
    CancelLoad(player);
    ReapFinishedJobs();
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
            *decoder = DeckChannel::OpenDecoder(path, cancel.get(), startFrame);
            result.loaded = true;
            result.lengthMs = static_cast<int>((*decoder)->LengthFrames() * 1000 / kOutputRate);
        } catch (const MediaError& error) {
            result.error = error.what();
            result.fault = error.Fault();
        } catch (const std::exception& error) {
            result.error = error.what();
        }
        loadAnswers_->Send(
            [this, slot, generation, decoder, result, started, startFrame]() mutable {
                result.took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
                Deliver(slot, generation, std::move(*decoder), startFrame, std::move(result));
            });
        job.finished.store(true, std::memory_order_release);
    });
}

void AudioEngine::PostCue(int incoming, int outgoing, std::int64_t outgoingFrame,
                          CrossFadeShape shape) {
    cueIncoming_.store(incoming, std::memory_order_relaxed);
    cueInSteps_.store(shape.incomingStepFrames, std::memory_order_relaxed);
    cueOutSteps_.store(shape.outgoingStepFrames, std::memory_order_relaxed);
    cueOutgoing_.store(outgoing, std::memory_order_relaxed);
    cueFrame_.store(outgoingFrame, std::memory_order_relaxed);
    cueSerial_.fetch_add(1, std::memory_order_release);
}

void AudioEngine::CueCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing,
                               std::int64_t outgoingFrame, CrossFadeShape shape) {
    PostCue(SlotOf(incoming), SlotOf(outgoing),
            outgoingFrame == kAfterLastFrame ? outgoingFrame
                                             : std::max<std::int64_t>(outgoingFrame, 0),
            shape);
    WakeProducer();
}

void AudioEngine::StartCrossFade(DeckPlayer& incoming, DeckPlayer& outgoing) {
    PostCue(SlotOf(incoming), SlotOf(outgoing), kCueNow);
    WakeProducer();
}

void AudioEngine::CancelCrossFade() {
    PostCue(-1, -1, -1);
}

void AudioEngine::StopFades() {
    stopFadesSerial_.fetch_add(1, std::memory_order_release);
}

std::size_t AudioEngine::RunCue(std::size_t frames, int& started) {
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
    if (!in.IsOpen()) {
        drop();
        return 0;
    }
    std::int64_t offset = 0;
    std::int64_t outStart = out.RenderedFrames();
    if (cueAt_ == kCueNow && !in.IsPlaying())
        return 0; // a fade of a deck that was paused waits until it plays
    if (!in.IsPlaying()) {
        if (!out.IsOpen()) {
            drop();
            return 0;
        }
        if (!out.HasEnded()) {
            if (!out.IsPlaying())
                return 0; // paused: the cue waits with it
            // End to start: on the sample after the last one decoded.
            const std::int64_t left = out.FramesLeftIfDecoded();
            if (cueAt_ == kAfterLastFrame && left < 0)
                return 0;
            offset =
                cueAt_ == kAfterLastFrame ? left : std::max<std::int64_t>(cueAt_ - outStart, 0);
            if (offset >= static_cast<std::int64_t>(frames))
                return 0;
            outStart += offset;
        }
    }
    if (!in.IsPlaying()) {
        in.TakeEndNotices(); // an end not yet delivered belongs to its earlier play
        in.StartFromMix();
    }
    in.BeginFade(+1, in.RenderedFrames(), cueShape_.incomingStepFrames);
    out.BeginFade(-1, outStart, cueShape_.outgoingStepFrames);
    started = cueIn_;
    drop();
    return static_cast<std::size_t>(offset);
}

void AudioEngine::MixOutput(StereoFrame* out, std::size_t frames) {
    std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
    const unsigned stopFades = stopFadesSerial_.load(std::memory_order_acquire);
    if (stopFades != stopFadesSeen_) {
        stopFadesSeen_ = stopFades;
        for (auto& channel : channels_)
            channel.EndFade();
    }
    int starting = -1;
    const std::size_t startAt = RunCue(frames, starting);
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        // A deck its cue started in this period joins on the cue's sample.
        const std::size_t skip = static_cast<int>(i) == starting ? startAt : 0;
        channels_[i].MixInto(out + skip, frames - skip);
    }
    // A sample that is no number (a damaged stream, a broken gain) becomes
    // silence: std::clamp would pass it on to the sound card.
    auto limit = [](float x) { return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f); };
    for (std::size_t i = 0; i < frames; ++i) {
        out[i].left = limit(out[i].left);
        out[i].right = limit(out[i].right);
    }
    tap_.Write(out, frames);
}

bool AudioEngine::AnyDeckPlaying() const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [](const DeckChannel& channel) { return channel.IsPlaying(); });
}

std::size_t AudioEngine::FramesReady() const {
    std::size_t ready = SIZE_MAX;
    for (const DeckChannel& channel : channels_)
        if (channel.IsPlaying())
            ready = std::min(ready, channel.FramesReady());
    return ready;
}

void AudioEngine::CancelLoad(DeckPlayer& player) {
    const auto slot = static_cast<std::size_t>(SlotOf(player));
    ++loadGeneration_[slot];
    if (loadCancel_[slot])
        loadCancel_[slot]->store(true);
    loadCancel_[slot].reset();
}

int AudioEngine::LoadsPending() const {
    return static_cast<int>(std::count_if(loadCancel_.begin(), loadCancel_.end(),
                                          [](const auto& cancel) { return cancel != nullptr; }));
}

void AudioEngine::Deliver(int slot, unsigned generation, std::unique_ptr<TrackDecoder> decoder,
                          std::int64_t startFrame, const LoadResult& result) {
    const auto i = static_cast<std::size_t>(slot);
    if (generation != loadGeneration_[i] || !players_[i])
        return; // a stale answer: the deck was closed or loaded again meanwhile
    loadCancel_[i].reset();
    if (decoder) {
        channels_[i].Install(std::move(decoder), startFrame);
        WakeProducer(); // decode ahead before the player is asked to play
    }
    players_[i]->LoadFinished(result);
}

DeckChannel& AudioEngine::AttachPlayer(DeckPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (!players_[i]) {
            players_[i] = &player;
            return channels_[i];
        }
    }
    throw MediaError("No free deck in the audio engine");
}

void AudioEngine::DetachPlayer(DeckPlayer& player) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (players_[i] == &player) {
            ++loadGeneration_[i];
            if (loadCancel_[i])
                loadCancel_[i]->store(true);
            loadCancel_[i].reset();
            channels_[i].Close();
            players_[i] = nullptr;
        }
    }
}

bool AudioEngine::HasPendingEndNotices() const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [](const DeckChannel& c) { return c.HasEndNotices(); });
}

void AudioEngine::DeliverEndNotices() {
    for (std::size_t i = 0; i < players_.size(); ++i) {
        if (channels_[i].TakeEndNotices() > 0 && players_[i])
            players_[i]->NotifyEnd();
    }
}

} // namespace audio
