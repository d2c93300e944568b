#pragma once

#include "platform/audio/StereoFrame.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace audio {

// What an output asks for each period: the next frames of the mix. Called on
// the output's own thread; must not block, allocate or touch files.
class MixSource {
public:
    virtual ~MixSource() = default;
    virtual void mixOutput(StereoFrame* out, std::size_t frames) = 0;
    // Whether any deck plays now: an output may rest (stop asking) while
    // none does, and counts a run-dry device as an underrun only while one
    // does. Lock-free; any thread.
    virtual bool anyDeckPlaying() const { return true; }
    // How many frames the mix can give now before a playing deck runs short
    // of decoded frames; SIZE_MAX when none can. The output's thread only.
    virtual std::size_t framesReady() const { return SIZE_MAX; }
};

// A running output that pulls from a MixSource at 44.1 kHz until destroyed.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual const char* name() const = 0;
};

// A real device: opened first, started by Begin once the previous output
// has stopped consuming the mix, and retired for good once it stops working
// (the sound server went away), so that another output can take the mix
// without two threads consuming it.
class DeviceOutput : public AudioOutput {
public:
    virtual bool begin(std::string* why) = 0;
    // True once the device no longer plays; from then on the source is never
    // called again by this output. One thread only.
    virtual bool retireIfStalled() = 0;
    // A deck was started: an output that rests wakes up. Any thread; never
    // waits.
    virtual void wake() {}
    // A deck stopped: once none plays, an output with a deep buffer drops
    // what it has queued, so that Stop is silent at once. Any thread; never
    // waits.
    virtual void flush() {}
    // Whether the device stops asking for sound while no deck plays (and so
    // needs no watching then); one that keeps asking is checked for stalls.
    virtual bool restsWhenIdle() const { return false; }
    // The buffer the device keeps ahead of what is heard, in ms; 0 when it
    // does not say.
    virtual int bufferMs() const { return 0; }
};

} // namespace audio
