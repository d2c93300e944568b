#pragma once

#include "platform/mixer/Mixer.h"

#include <cstdint>

class QWidget;

// The microphone's volume and mute on mixer device 0. Each call opens the
// mixer, finds one control of the microphone source line, sets it and closes
// the mixer again.
//
// No mixer, a mixer that cannot be opened or no microphone line: nothing
// happens and nothing is shown. No control of the wanted type on the line:
// "GetLineInfo Error". The mixer refuses the value: "SetControlDetails Error".
// Messages go through dialogs::showMessage with the given parent.

// Sets the microphone volume, raw 0..65535.
void setMicVolume(std::uint16_t value, mixer::MixerSystem& system = mixer::defaultSystem(),
                  QWidget* parent = nullptr);

// Mutes (true) or unmutes the microphone.
void setMicMute(bool muted, mixer::MixerSystem& system = mixer::defaultSystem(),
                QWidget* parent = nullptr);
