#pragma once

#include "platform/mixer/MixerTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// The mixer devices underneath SystemMixer (SystemMixer.h) and the mixer
// line list: numbered devices, each with destination lines (speakers,
// recording) that have source lines (microphone, ...), lines carrying
// controls (volume, mute, peak meter) that are addressed by id and hold one
// value per channel.
//
// Values: volume 0..65535, mute 0 or 1. A read or write names one or two
// channels: one channel on a stereo control reads the first channel and writes
// every channel alike; two channels on a mono control read the one value twice
// and write the first value.
namespace mixer {

// Change notice: the handle value of the open mixer and the id of the control
// whose value changed. Delivered on the thread that opened the mixer (the main
// thread), from its event loop, never from inside a mixer call.
using ChangeNotice = std::function<void(std::uint32_t mixerHandle, std::uint32_t controlId)>;

// The control id of the notice that says a sound server came back after the
// one the mixer was open on went away: every control now holds the new
// server's values. It comes before the notices of the controls themselves.
inline constexpr std::uint32_t kServerReturned = 0xFFFFFFFFu;

// Every operation says true when it succeeded; on failure false, with the
// reason in why when why is not null (MixerTypes.h).

// An open mixer device; destroying it closes the device.
class Mixer {
public:
    virtual ~Mixer() = default;

    // A number that identifies this open mixer (what change notices carry).
    virtual std::uint32_t handle() const = 0;
    virtual DeviceCaps caps() const = 0;

    virtual bool destinationLine(std::uint32_t destination, LineInfo& line, std::string* why) = 0;
    virtual bool sourceLine(std::uint32_t destination, std::uint32_t source, LineInfo& line,
                            std::string* why) = 0;
    // Every control of a line, in the device's order.
    virtual bool lineControls(std::uint32_t lineId, std::vector<ControlInfo>& controls,
                              std::string* why) = 0;
    virtual bool controlDetails(std::uint32_t controlId, std::span<std::uint32_t> values,
                                std::string* why) = 0;
    virtual bool setControlDetails(std::uint32_t controlId, std::span<const std::uint32_t> values,
                                   std::string* why) = 0;

    // The first line of that kind: destinations first, each
    // followed by its sources.
    bool lineByKind(LineKind kind, LineInfo& line, std::string* why);
    // The first control of that kind on the line.
    bool lineControlByKind(std::uint32_t lineId, ControlKind kind, ControlInfo& control,
                           std::string* why);
};

// The mixer devices of the system.
class MixerSystem {
public:
    virtual ~MixerSystem() = default;

    virtual int deviceCount() = 0;
    virtual bool deviceCaps(int device, DeviceCaps& caps, std::string* why) = 0;
    // Opens a device; with a notice, value changes made by anyone (this
    // program included) are reported through it until the mixer is closed.
    virtual bool open(int device, ChangeNotice notice, std::unique_ptr<Mixer>& mixer,
                      std::string* why) = 0;
};

// The program's mixer system: the ALSA mixer of the sound server, or, when the
// environment has KOLVADECK_AUDIO=virtual, an in-memory mixer with a stereo
// speakers line and a microphone line (volume and mute each) so that the
// program runs headless and deterministic.
MixerSystem& defaultSystem();

// Replaces the program's mixer system (tests); nullptr restores the choice above.
void setDefaultSystem(MixerSystem* system);

} // namespace mixer
