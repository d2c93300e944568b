#pragma once

namespace audio {

// One sample frame of the engine's output format: 32-bit float, left then right.
struct StereoFrame {
    float left;
    float right;
};

// The one output format of the engine: every file is converted to it.
inline constexpr int kOutputRate = 44100;

} // namespace audio
