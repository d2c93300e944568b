#include "platform/audio/SilentClockOutput.h"

#include <chrono>

namespace audio {

namespace {
constexpr std::size_t kPeriodFrames = kOutputRate / 100;
constexpr auto kPeriod = std::chrono::milliseconds(10);
} // namespace

SilentClockOutput::SilentClockOutput(MixSource& source)
    : source_(source)
    , buffer_(kPeriodFrames)
    , thread_([this] { run(); }) {}

SilentClockOutput::~SilentClockOutput() {
    quit_.store(true);
    thread_.join();
}

void SilentClockOutput::run() {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    while (!quit_.load(std::memory_order_relaxed)) {
        source_.mixOutput(buffer_.data(), buffer_.size());
        next += kPeriod;
        // After a long stall (a suspended machine) go on from now instead of
        // racing through the missed periods.
        if (Clock::now() - next > std::chrono::milliseconds(200))
            next = Clock::now();
        std::this_thread::sleep_until(next); // wait-ok: the silent clock's own thread
    }
}

} // namespace audio
