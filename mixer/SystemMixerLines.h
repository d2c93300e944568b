#pragma once

#include "platform/mixer/Mixer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

// The four system mixer controls the mixer panel acts on, on one mixer of
// device 0 kept open for the whole run: the speakers line's volume and mute
// and the microphone line's volume and mute. A control the mixer lacks (or no
// mixer at all) reads as absent and takes no writes.
//
// With a change handler, every change of one of the four controls, made by
// this program or any other, and every return of a sound server that went
// away, is reported through it from the event loop.
class SystemMixerLines {
public:
    enum Control { MasterVolume, MasterMute, MicVolume, MicMute, kControlCount };
    using Values = std::array<std::uint32_t, 2>;

    explicit SystemMixerLines(mixer::MixerSystem& system,
                              std::function<void(Control)> changed = {});
    ~SystemMixerLines();
    SystemMixerLines(const SystemMixerLines&) = delete;
    SystemMixerLines& operator=(const SystemMixerLines&) = delete;

    bool has(Control control) const { return ids_[control] != 0; }
    // Both channels (a mute or mono control gives its one value twice);
    // false when the control is absent or cannot be read.
    bool read(Control control, Values& values);
    // Writes both channels as given; false when absent or refused.
    bool write(Control control, const Values& values);

private:
    std::unique_ptr<mixer::Mixer> mixer_;
    std::array<std::uint32_t, kControlCount> ids_{};
};
