#pragma once

#include "platform/audio/AudioOutput.h"

#include <atomic>
#include <thread>
#include <vector>

namespace audio {

// Stands in for a sound card when none can be opened: a thread pulls the mix
// in 10 ms periods on the real-time clock and drops it, so decks keep time
// (positions advance, tracks end, cross-fades run) in silence.
class SilentClockOutput final : public AudioOutput {
public:
    explicit SilentClockOutput(MixSource& source);
    ~SilentClockOutput() override;
    const char* name() const override { return "silent"; }

private:
    void run();

    MixSource& source_;
    std::vector<StereoFrame> buffer_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace audio
