#include "mixer/FoundMixerValues.h"

FoundMixerValues::FoundMixerValues(SystemMixerLines& lines) {
    for (int c = 0; c < SystemMixerLines::kControlCount; ++c) {
        SystemMixerLines::Values values{};
        if (lines.read(static_cast<SystemMixerLines::Control>(c), values))
            found_[c] = values;
    }
}

void FoundMixerValues::Restore(SystemMixerLines& lines) {
    if (restored_)
        return;
    restored_ = true;
    for (int c = 0; c < SystemMixerLines::kControlCount; ++c) {
        if (found_[c] && !userSet_[c])
            lines.write(static_cast<SystemMixerLines::Control>(c), *found_[c]);
    }
}
