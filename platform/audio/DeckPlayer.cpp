#include "platform/audio/DeckPlayer.h"

#include <cmath>

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MediaError.h"

#include <algorithm>
#include <utility>

namespace audio {

namespace {
int framesToMs(std::int64_t frames) {
    return static_cast<int>(frames * 1000 / kOutputRate);
}
} // namespace

DeckPlayer::DeckPlayer(AudioEngine& engine)
    : engine_(engine)
    , channel_(engine.attachPlayer(*this)) {}

DeckPlayer::~DeckPlayer() {
    engine_.detachPlayer(*this);
}

void DeckPlayer::requireOpen(const char* operation) const {
    if (!channel_.isOpen())
        throw MediaError(std::string("The deck is not open (") + operation + ")");
}

void DeckPlayer::open(const std::string& path) {
    close();
    FileName = path;
    channel_.open(path);
    engine_.wakeProducer(); // start decoding ahead before Play is asked
}

void DeckPlayer::load(const std::string& path, std::function<void(const LoadResult&)> done,
                      int startMs) {
    close();
    FileName = path;
    loading_ = true;
    onLoaded_ = std::move(done);
    engine_.startLoad(*this, path,
                      static_cast<std::int64_t>(std::max(startMs, 0)) * kOutputRate / 1000);
}

void DeckPlayer::loadFinished(const LoadResult& result) {
    loading_ = false;
    // Taken out first: the handler may load this deck again.
    auto handler = std::exchange(onLoaded_, nullptr);
    if (handler)
        handler(result);
}

void DeckPlayer::close() {
    onEnd_ = nullptr;
    if (loading_) {
        engine_.cancelLoad(*this);
        loading_ = false;
        onLoaded_ = nullptr;
    }
    const bool wasPlaying = channel_.isPlaying();
    channel_.close();
    if (wasPlaying)
        engine_.deckStopped();
}

void DeckPlayer::setTrackGain(double factor) {
    // A factor that is no number would turn the whole mix into noise or NaN.
    if (!std::isfinite(factor) || factor < 0)
        factor = 1.0;
    if (channel_.isOpen())
        channel_.setTrackGain(static_cast<float>(factor));
}

double DeckPlayer::trackGain() const {
    return channel_.trackGain();
}

bool DeckPlayer::isOpen() const {
    return channel_.isOpen();
}

void DeckPlayer::play(std::function<void()> onEnd) {
    requireOpen("play");
    channel_.takeEndNotices(); // an end not yet delivered belongs to the earlier play
    onEnd_ = std::move(onEnd);
    channel_.play();
    engine_.wakeProducer();
}

void DeckPlayer::stop() {
    requireOpen("stop");
    onEnd_ = nullptr;
    channel_.stop();
    engine_.deckStopped();
}

bool DeckPlayer::isPlaying() const {
    return channel_.isPlaying();
}

int DeckPlayer::length() const {
    requireOpen("length");
    return framesToMs(channel_.lengthFrames());
}

int DeckPlayer::position() const {
    requireOpen("position");
    return framesToMs(channel_.positionFrames());
}

void DeckPlayer::setTimeFormatMilliseconds() const {
    requireOpen("time format");
}

void DeckPlayer::setVolume(int volume) {
    requireOpen("volume");
    channel_.setVolume(std::clamp(volume, 0, 1000));
}

int DeckPlayer::getVolume() const {
    return channel_.volume();
}

void DeckPlayer::notifyEnd() {
    // Taken out first: the handler may start this deck again.
    auto handler = std::exchange(onEnd_, nullptr);
    if (handler)
        handler();
}

} // namespace audio
