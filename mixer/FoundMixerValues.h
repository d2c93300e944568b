#pragma once

#include "mixer/SystemMixerLines.h"

#include <array>
#include <optional>

// The system mixer as the program found it, so that exit can leave it so:
// start-up unmutes the speakers, sets them to the stored volume and mutes the
// microphone at volume 0. Restore() writes back every control found, except
// the ones the user set in the program during the run: their choice stays.
//
// A crash or SIGKILL cannot restore; the values are lost with the process.
class FoundMixerValues {
public:
    // Reads the controls now (before start-up changes them).
    explicit FoundMixerValues(SystemMixerLines& lines);

    void UserSet(SystemMixerLines::Control control) { userSet_[control] = true; }
    bool WasUserSet(SystemMixerLines::Control control) const { return userSet_[control]; }

    // Writes the found values back; runs once, later calls do nothing.
    void Restore(SystemMixerLines& lines);

private:
    std::array<std::optional<SystemMixerLines::Values>, SystemMixerLines::kControlCount> found_;
    std::array<bool, SystemMixerLines::kControlCount> userSet_{};
    bool restored_ = false;
};
