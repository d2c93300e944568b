#pragma once

#include "platform/audio/StereoFrame.h"

#include <cstddef>

namespace audio {

// What an output asks for each period: the next frames of the mix. Called on
// the output's own thread; must not block, allocate or touch files.
class MixSource {
public:
    virtual ~MixSource() = default;
    virtual void MixOutput(StereoFrame* out, std::size_t frames) = 0;
};

// A running output that pulls from a MixSource at 44.1 kHz until destroyed.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual const char* Name() const = 0;
};

} // namespace audio
