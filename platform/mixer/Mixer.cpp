#include "platform/mixer/Mixer.h"

namespace mixer {

const char* ResultText(Result result) {
    switch (result) {
    case Result::Ok:
        return "no error";
    case Result::BadDeviceId:
        return "no such mixer device";
    case Result::OpenFailed:
        return "the mixer device could not be opened";
    case Result::InvalidLine:
        return "no such mixer line";
    case Result::InvalidControl:
        return "no such mixer control";
    case Result::InvalidValue:
        return "invalid channel count or value";
    case Result::Refused:
        return "the mixer refused the value";
    }
    return "unknown mixer error";
}

Result Mixer::lineByKind(LineKind kind, LineInfo& line) {
    const std::uint32_t destinations = caps().destinations;
    for (std::uint32_t d = 0; d < destinations; ++d) {
        LineInfo destination;
        if (destinationLine(d, destination) != Result::Ok)
            continue;
        if (destination.kind == kind) {
            line = destination;
            return Result::Ok;
        }
        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            LineInfo source;
            if (sourceLine(d, s, source) == Result::Ok && source.kind == kind) {
                line = source;
                return Result::Ok;
            }
        }
    }
    return Result::InvalidLine;
}

Result Mixer::lineControlByKind(std::uint32_t lineId, ControlKind kind, ControlInfo& control) {
    std::vector<ControlInfo> controls;
    if (const Result result = lineControls(lineId, controls); result != Result::Ok)
        return result;
    for (const ControlInfo& candidate : controls) {
        if (candidate.kind == kind) {
            control = candidate;
            return Result::Ok;
        }
    }
    return Result::InvalidControl;
}

} // namespace mixer
