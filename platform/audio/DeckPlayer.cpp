#include "platform/audio/DeckPlayer.h"

#include <cmath>

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MediaError.h"

#include <algorithm>
#include <utility>

namespace audio {

namespace {
int FramesToMs(std::int64_t frames) {
    return static_cast<int>(frames * 1000 / kOutputRate);
}
} // namespace

DeckPlayer::DeckPlayer(AudioEngine& engine)
    : engine_(engine)
    , channel_(engine.AttachPlayer(*this)) {}

DeckPlayer::~DeckPlayer() {
    engine_.DetachPlayer(*this);
}

void DeckPlayer::RequireOpen(const char* operation) const {
    if (!channel_.IsOpen())
        throw MediaError(std::string("The deck is not open (") + operation + ")");
}

void DeckPlayer::Open(const std::string& path) {
    Close();
    FileName = path;
    channel_.Open(path);
    engine_.WakeProducer(); // start decoding ahead before Play is asked
}

void DeckPlayer::Load(const std::string& path, std::function<void(const LoadResult&)> done,
                      int startMs) {
    Close();
    FileName = path;
    loading_ = true;
    onLoaded_ = std::move(done);
    engine_.StartLoad(*this, path,
                      static_cast<std::int64_t>(std::max(startMs, 0)) * kOutputRate / 1000);
}

void DeckPlayer::LoadFinished(const LoadResult& result) {
    loading_ = false;
    // Taken out first: the handler may load this deck again.
    auto handler = std::exchange(onLoaded_, nullptr);
    if (handler)
        handler(result);
}

void DeckPlayer::Close() {
    onEnd_ = nullptr;
    if (loading_) {
        engine_.CancelLoad(*this);
        loading_ = false;
        onLoaded_ = nullptr;
    }
    const bool wasPlaying = channel_.IsPlaying();
    channel_.Close();
    if (wasPlaying)
        engine_.DeckStopped();
}

void DeckPlayer::SetTrackGain(double factor) {
    // A factor that is no number would turn the whole mix into noise or NaN.
    if (!std::isfinite(factor) || factor < 0)
        factor = 1.0;
    if (channel_.IsOpen())
        channel_.SetTrackGain(static_cast<float>(factor));
}

double DeckPlayer::TrackGain() const {
    return channel_.TrackGain();
}

bool DeckPlayer::IsOpen() const {
    return channel_.IsOpen();
}

void DeckPlayer::Play(std::function<void()> onEnd) {
    RequireOpen("play");
    channel_.TakeEndNotices(); // an end not yet delivered belongs to the earlier play
    onEnd_ = std::move(onEnd);
    channel_.Play();
    engine_.WakeProducer();
}

void DeckPlayer::Stop() {
    RequireOpen("stop");
    onEnd_ = nullptr;
    channel_.Stop();
    engine_.DeckStopped();
}

bool DeckPlayer::IsPlaying() const {
    return channel_.IsPlaying();
}

int DeckPlayer::Length() const {
    RequireOpen("length");
    return FramesToMs(channel_.LengthFrames());
}

int DeckPlayer::Position() const {
    RequireOpen("position");
    return FramesToMs(channel_.PositionFrames());
}

void DeckPlayer::SetTimeFormatMilliseconds() const {
    RequireOpen("time format");
}

void DeckPlayer::SetVolume(int volume) {
    RequireOpen("volume");
    channel_.SetVolume(std::clamp(volume, 0, 1000));
}

int DeckPlayer::GetVolume() const {
    return channel_.Volume();
}

void DeckPlayer::NotifyEnd() {
    // Taken out first: the handler may start this deck again.
    auto handler = std::exchange(onEnd_, nullptr);
    if (handler)
        handler();
}

} // namespace audio
