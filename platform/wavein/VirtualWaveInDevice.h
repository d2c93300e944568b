#pragma once

#include "platform/wavein/WaveInDevice.h"

namespace wavein {

// An open device of the virtual input; it registers itself so that the test's
// Advance/Feed reach it.
class VirtualWaveInDevice : public WaveInDevice {
public:
    VirtualWaveInDevice(const WAVEFORMATEX& format, const WaveInCallback& callback);
    ~VirtualWaveInDevice() override;
    MMRESULT StartSource() override { return MMSYSERR_NOERROR; }
    void StopSource() override {}
    MMRESULT AdmitBuffer() override;
    double phase = 0.0;          // tone phase, radians
    std::size_t sampleFrame = 0; // position in the looped samples
};

// Open with the injected result, or a new device.
MMRESULT OpenVirtualWaveIn(HWAVEIN* handle, const WAVEFORMATEX& format,
                           const WaveInCallback& callback);

} // namespace wavein
