#include "mixer/InputLevel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

float bufferPeakLevel(std::span<const char> block) {
    const std::size_t samples = block.size() / 2;
    int peak = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        std::int16_t s;
        std::memcpy(&s, block.data() + 2 * i, sizeof s);
        peak = s > peak ? s : peak;
    }
    // The program's scale divides by 44100, not 32768: full scale reads ~0.743.
    return float(peak) / 44100.0f;
}

InputLevel::InputLevel(LevelMeter* inputMeter, QObject* owner)
    : QObject(owner)
    , inputMeter_(inputMeter) {
    connect(&watchdog_, &QTimer::timeout, this, [this] { checkCapture(); });
    setStallLimitMs(
        audio::activeCaptureBackend() == audio::CaptureBackend::Virtual ? 0 : kStallLimitMs);
}

void InputLevel::setStallLimitMs(int ms) {
    stallLimitMs_ = ms;
    retryDelayMs_ = ms;
    if (ms > 0)
        watchdog_.start(std::max(1, ms / 4));
    else
        watchdog_.stop();
}

// Main thread, from the watchdog. After a whole stall limit without a buffer
// the capture is closed (an input thread stuck in the sound library is left
// behind), the meter drops to rest and the capture is opened again. Each
// attempt that brings no buffer doubles the wait for the next, so a
// half-dead server costs little; a buffer resets it.
void InputLevel::checkCapture() {
    // Without a buffer ever (no input that worked) there is nothing to watch.
    if (stopping_ || !levelCapture_ || !sinceBuffer_.isValid() ||
        sinceBuffer_.elapsed() < stallLimitMs_)
        return;
    if (sinceAttempt_.isValid()) {
        if (sinceAttempt_.elapsed() < retryDelayMs_)
            return;
        retryDelayMs_ = std::min(retryDelayMs_ * 2, kLongestRetryMs);
    }
    levelCapture_->stop();
    if (inputMeter_)
        inputMeter_->setLevels(0.0f, 0.0f);
    sinceAttempt_.start();
    sinceBuffer_.start(); // the reopened capture gets a whole stall limit
    startWhenReady();     // closing let the sound library go
}

audio::Status InputLevel::start() {
    // The program runs on without level metering.
    return startCapture();
}

void InputLevel::startWhenReady() {
    backEndStart_ = audio::prepareInputCapture([this] {
        if (!stopping_)
            start();
    });
}

audio::CaptureFormat InputLevel::captureFormat() {
    return {44100, 2, audio::SampleType::Int16};
}

audio::Status InputLevel::startCapture() {
    if (!levelCapture_)
        levelCapture_ = std::make_unique<LevelCapture>(
            captureFormat(), kBlockBytes,
            [this](std::span<const char> block) { onCaptureBlock(block); });
    return levelCapture_->start(audio::InputCapture::kDefaultDevice);
}

void InputLevel::onCaptureBlock(std::span<const char> block) {
    sinceBuffer_.start();
    sinceAttempt_.invalidate();
    retryDelayMs_ = stallLimitMs_;
    if (block.empty())
        return;
    const float level = bufferPeakLevel(block);
    if (inputMeter_)
        inputMeter_->setLevels(level, 0.0f);
    emit blockShown(level);
}

void InputLevel::stopWhenDrained() {
    stopping_ = true;
    watchdog_.stop();
    if (levelCapture_)
        levelCapture_->stopWhenDrained();
}
