#pragma once

#include "platform/audio/AudioOutput.h"

#include <memory>
#include <string>

namespace audio {

// The default output device through PortAudio (on Linux: ALSA's default,
// which reaches PulseAudio or PipeWire), 44.1 kHz stereo float.
class PortAudioOutput final : public AudioOutput {
public:
    // The running output, or nullptr with the reason in *why.
    static std::unique_ptr<PortAudioOutput> Start(MixSource& source, std::string* why);
    ~PortAudioOutput() override;
    const char* Name() const override { return "portaudio"; }

private:
    explicit PortAudioOutput(void* stream)
        : stream_(stream) {}
    void* stream_;
};

} // namespace audio
