#pragma once

#include "platform/mixer/Mixer.h"

#include <array>
#include <memory>
#include <string>

// An in-memory mixer system whose devices, lines and controls are declared one
// by one (tests, headless runs). Every accepted write that changes a value,
// and every change made with setValues (as another program would), is
// reported to the devices' open mixers that asked for notices. Declared
// failures let a test reach the error paths of the callers.
namespace mixer {

class VirtualMixerSystem : public MixerSystem {
public:
    VirtualMixerSystem();
    ~VirtualMixerSystem() override;

    // Declaration. Ids are unique across the whole system. Returns the new
    // device's number, line's id or control's id.
    int addDevice(std::string productName);
    std::uint32_t addDestination(int device, std::string name, LineKind kind,
                                 std::uint32_t channels);
    std::uint32_t addSource(std::uint32_t destinationLineId, std::string name, LineKind kind,
                            std::uint32_t channels);
    // A control with as many channels as its line (a mute switch has one).
    std::uint32_t addControl(std::uint32_t lineId, ControlKind kind, std::string name = {});

    // Declared failures.
    void setOpenFails(int device, bool fails);
    void setLineReadFails(std::uint32_t lineId, bool fails);
    void setControlListFails(std::uint32_t lineId, bool fails);
    void setControlReadFails(std::uint32_t controlId, bool fails);
    void setWritesRefused(std::uint32_t controlId, bool refused);

    // Inspection and outside changes.
    std::array<std::uint32_t, 2> values(std::uint32_t controlId) const;
    void setValues(std::uint32_t controlId, std::array<std::uint32_t, 2> values);
    int writeCount(std::uint32_t controlId) const; // accepted writes
    int openMixers() const;                        // mixers opened and not yet closed

    int deviceCount() override;
    bool deviceCaps(int device, DeviceCaps& caps, std::string* why) override;
    bool open(int device, ChangeNotice notice, std::unique_ptr<Mixer>& mixer,
              std::string* why) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// The lines that headless runs get: device "Virtual Mixer" with destination 0
// "Speakers" (stereo volume + mute) and destination 1 "Recording" holding
// source "Microphone" (stereo volume + mute). Values start at full volume,
// unmuted.
void declareStandardLines(VirtualMixerSystem& system);

} // namespace mixer
