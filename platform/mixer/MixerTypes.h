#pragma once

#include <cstdint>
#include <string>

// Records and constants of the system mixer interface. The constant names and
// values are those of the Windows mixer API, so that code written against it
// reads the same here.
namespace mixer {

inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;

inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

// Fader values run 0..kMaxVolume whatever the back end's own range is.
inline constexpr std::uint32_t kMaxVolume = 65535;

enum class Result {
    Ok,
    BadDeviceId,    // no mixer device with that number
    OpenFailed,     // the device exists but could not be opened
    InvalidLine,    // no line with that index, id or component type
    InvalidControl, // no control with that id or type
    InvalidValue,   // channel count or value out of range
    Refused,        // the device did not take the value
};

// Short English text of a result, for logs and test messages.
const char* ResultText(Result result);

struct DeviceCaps {
    std::string productName;
    std::uint32_t destinations = 0; // number of destination lines
};

struct LineInfo {
    std::uint32_t destination = 0; // index of the destination line (its own, or its parent's)
    std::uint32_t source = 0;      // index among the destination's sources; 0 for a destination
    std::uint32_t lineId = 0;
    std::uint32_t componentType = 0;
    std::uint32_t channels = 0;    // 1 mono, 2 stereo
    std::uint32_t connections = 0; // destinations: number of source lines
    std::uint32_t controls = 0;
    std::string name;
};

struct ControlInfo {
    std::uint32_t controlId = 0;
    std::uint32_t controlType = 0;
    std::string name;
};

} // namespace mixer
