#pragma once

namespace audio {

// Deck volume 0..1000 to linear gain: gain = (volume / 1000)^2. The square
// follows loudness better than a straight line (500 is -12 dB, 100 is -40 dB)
// and 0 is true silence. Values outside 0..1000 are clamped.
float VolumeToGain(int volume);

// Moves a gain to a new target in equal steps over a fixed number of frames,
// so that a volume change never jumps between two samples (the cross-fade
// changes volumes in steps of 100). Owned by the thread that mixes.
class GainRamp {
public:
    static constexpr int kRampFrames = 441; // 10 ms at 44.1 kHz

    void Jump(float gain); // sets the gain at once (a deck that starts)
    void SetTarget(float target);
    float Next(); // the gain for the next frame
    float Current() const { return current_; }
    bool Ramping() const { return remaining_ > 0; }

private:
    float current_ = 0.0f;
    float target_ = 0.0f;
    float step_ = 0.0f;
    int remaining_ = 0;
};

} // namespace audio
