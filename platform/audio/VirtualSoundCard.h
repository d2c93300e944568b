#pragma once

#include "platform/audio/AudioEngine.h"

#include <cstdint>
#include <vector>

namespace audio {

// The engine on a sound card whose clock the caller advances: render(ms)
// decodes what the playing decks need and mixes it, on the caller's thread,
// so tests are deterministic and ten seconds render in milliseconds. Ends of
// playback are delivered at the end of Render. Optionally keeps the mixed
// output for the caller to measure.
class VirtualSoundCard final : public AudioEngine {
public:
    const char* backendName() const override { return "virtual"; }

    // Advances the clock by ms milliseconds (whole frames; the fractions add
    // up over calls so 1000 calls of 1 ms give exactly one second).
    void render(int ms);
    void renderFrames(std::size_t frames);

    std::int64_t clockFrames() const { return clockFrames_; }

    // While on, every rendered frame is kept until taken.
    void setCapture(bool on) { capture_ = on; }
    std::vector<StereoFrame> takeCaptured();

private:
    static constexpr std::size_t kChunkFrames = 1024;

    std::int64_t clockMs_ = 0;
    std::int64_t clockFrames_ = 0;
    bool capture_ = false;
    std::vector<StereoFrame> captured_;
    std::vector<StereoFrame> chunk_ = std::vector<StereoFrame>(kChunkFrames);
};

} // namespace audio
