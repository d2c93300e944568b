#include "mixer/SystemMixerLines.h"

using namespace mixer;

namespace {

std::uint32_t ControlId(Mixer& mixer, std::uint32_t componentType, std::uint32_t controlType) {
    LineInfo line;
    ControlInfo control;
    if (mixer.lineByComponentType(componentType, line) != Result::Ok ||
        mixer.lineControlByType(line.lineId, controlType, control) != Result::Ok)
        return 0;
    return control.controlId;
}

} // namespace

SystemMixerLines::SystemMixerLines(MixerSystem& system, std::function<void(Control)> changed) {
    ChangeNotice notice;
    if (changed) {
        // The ids are known once the mixer is open; notices come later, from
        // the event loop, so they always find them filled in.
        notice = [this, changed = std::move(changed)](std::uint32_t, std::uint32_t controlId) {
            for (int c = 0; c < kControlCount; ++c) {
                if (ids_[c] != 0 && ids_[c] == controlId)
                    changed(static_cast<Control>(c));
            }
        };
    }
    if (system.open(0, std::move(notice), mixer_) != Result::Ok) {
        mixer_.reset();
        return;
    }
    ids_[MasterVolume] =
        ControlId(*mixer_, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ids_[MasterMute] =
        ControlId(*mixer_, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE);
    ids_[MicVolume] =
        ControlId(*mixer_, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ids_[MicMute] =
        ControlId(*mixer_, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_MUTE);
}

SystemMixerLines::~SystemMixerLines() = default;

bool SystemMixerLines::read(Control control, Values& values) {
    return has(control) && mixer_->controlDetails(ids_[control], values) == Result::Ok;
}

bool SystemMixerLines::write(Control control, const Values& values) {
    const bool mute = control == MasterMute || control == MicMute;
    const std::span<const std::uint32_t> span(values.data(), mute ? 1 : 2);
    return has(control) && mixer_->setControlDetails(ids_[control], span) == Result::Ok;
}
