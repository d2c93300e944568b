#include "platform/mixer/Mixer.h"

namespace mixer {

bool Mixer::lineByKind(LineKind kind, LineInfo& line, std::string* why) {
    const std::uint32_t destinations = caps().destinations;
    for (std::uint32_t d = 0; d < destinations; ++d) {
        LineInfo destination;
        if (!destinationLine(d, destination, nullptr))
            continue;
        if (destination.kind == kind) {
            line = destination;
            return true;
        }
        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            LineInfo source;
            if (sourceLine(d, s, source, nullptr) && source.kind == kind) {
                line = source;
                return true;
            }
        }
    }
    return fail(why, kNoSuchLine);
}

bool Mixer::lineControlByKind(std::uint32_t lineId, ControlKind kind, ControlInfo& control,
                              std::string* why) {
    std::vector<ControlInfo> controls;
    if (!lineControls(lineId, controls, why))
        return false;
    for (const ControlInfo& candidate : controls) {
        if (candidate.kind == kind) {
            control = candidate;
            return true;
        }
    }
    return fail(why, kNoSuchControl);
}

} // namespace mixer
