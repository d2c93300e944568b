#pragma once

#include <cstdint>
#include <string>

// Records of the system mixer interface.
namespace mixer {

// What a line carries: destinations (where sound goes) and sources (what
// feeds a destination).
enum class LineKind {
    Other,      // a destination of no particular kind
    Speakers,   // destination: what is heard
    Recording,  // destination: what is recorded
    LineIn,     // source: the line input
    Microphone, // source: the microphone
    Playback,   // source: the program's own playback
};

enum class ControlKind {
    Volume,    // a fader, one value per channel
    Mute,      // a switch, one value: 1 muted
    PeakMeter, // a read-only level
};

// Fader values run 0..kMaxVolume whatever the back end's own range is.
inline constexpr std::uint32_t kMaxVolume = 65535;

// Mixer operations say true when they succeeded; on failure false, and when
// why is not null it receives the reason, one of these.
inline constexpr const char* kNoSuchDevice = "no such mixer device";
inline constexpr const char* kOpenFailed = "the mixer device could not be opened";
inline constexpr const char* kNoSuchLine = "no such mixer line";
inline constexpr const char* kNoSuchControl = "no such mixer control";
inline constexpr const char* kInvalidValue = "invalid channel count or value";
inline constexpr const char* kRefused = "the mixer refused the value";

// A failure with its reason: sets why (when not null) and says false.
inline bool fail(std::string* why, const char* reason) {
    if (why)
        *why = reason;
    return false;
}

struct DeviceCaps {
    std::string productName;
    std::uint32_t destinations = 0; // number of destination lines
};

struct LineInfo {
    std::uint32_t destination = 0; // index of the destination line (its own, or its parent's)
    std::uint32_t source = 0;      // index among the destination's sources; 0 for a destination
    std::uint32_t lineId = 0;
    LineKind kind = LineKind::Other;
    std::uint32_t channels = 0;    // 1 mono, 2 stereo
    std::uint32_t connections = 0; // destinations: number of source lines
    std::uint32_t controls = 0;
    std::string name;
};

struct ControlInfo {
    std::uint32_t controlId = 0;
    ControlKind kind = ControlKind::Volume;
    std::string name;
};

} // namespace mixer
