#pragma once

#include "platform/mixer/Mixer.h"

// The ALSA simple mixer of the "default" control device, which on a desktop
// is the sound server's (PulseAudio or PipeWire through libasound2-plugins).
//
// Device 0 is that control device when it can be opened; opening the mixer
// also needs a "Master" playback element or a "Capture" capture element. Lines:
//   destination "Master"  (speakers)  volume + mute from the Master element
//   destination "Capture" (recording) no controls, with one source:
//     source "Capture" (microphone)   volume + mute from the Capture element
// A destination is left out when its element is missing. Other elements are
// not shown. The element's switch is the inverse of mute.
namespace mixer {

class AlsaMixerSystem : public MixerSystem {
public:
    int deviceCount() override;
    bool deviceCaps(int device, DeviceCaps& caps, std::string* why) override;
    bool open(int device, ChangeNotice notice, std::unique_ptr<Mixer>& mixer,
              std::string* why) override;
};

} // namespace mixer
