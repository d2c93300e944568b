#include "mixer/MicrophoneRoutines.h"

#include "platform/Dialogs.h"

#include <array>

using namespace mixer;

namespace {

void SetMicrophoneControl(std::uint32_t controlType, std::uint32_t value, MixerSystem& system,
                          QWidget* parent) {
    if (system.deviceCount() < 1)
        return;
    std::unique_ptr<Mixer> mixer;
    if (system.open(0, {}, mixer) != Result::Ok)
        return;
    LineInfo microphone;
    if (mixer->lineByComponentType(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, microphone) !=
        Result::Ok)
        return;
    ControlInfo control;
    if (mixer->lineControlByType(microphone.lineId, controlType, control) != Result::Ok) {
        dialogs::ShowMessage(QStringLiteral("GetLineInfo Error"), parent);
        return;
    }
    const std::array<std::uint32_t, 1> values{value};
    if (mixer->setControlDetails(control.controlId, values) != Result::Ok)
        dialogs::ShowMessage(QStringLiteral("SetControlDetails Error"), parent);
}

} // namespace

void SetMicVolume(std::uint16_t value, MixerSystem& system, QWidget* parent) {
    SetMicrophoneControl(MIXERCONTROL_CONTROLTYPE_VOLUME, value, system, parent);
}

void SetMicMute(bool muted, MixerSystem& system, QWidget* parent) {
    SetMicrophoneControl(MIXERCONTROL_CONTROLTYPE_MUTE, muted ? 1 : 0, system, parent);
}
