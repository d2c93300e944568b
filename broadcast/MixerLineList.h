#pragma once

#include "platform/mixer/Mixer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// One line of the mixer line list, or the leading record of the device.
struct MixerLine {
    static constexpr std::uint16_t kDeviceIndex = 65535; // Destination and Source of the device
    static constexpr std::uint32_t kNoControl = 65535;   // a control id that was not found
    static constexpr std::uint16_t kFlagNoMute = 128;    // the line has no mute switch
    static constexpr std::uint16_t kFlagMonoVolume = 64; // the volume fader has one channel

    std::uint16_t Destination = kDeviceIndex;
    std::uint16_t Source = kDeviceIndex; // 0 for a destination, 1, 2, ... for its sources
    std::string name;
    std::uint32_t VolumeID = kNoControl;
    std::uint32_t MuteID = kNoControl;
    std::uint32_t MeterID = kNoControl;
    std::uint16_t VolumeLeft = 0;
    std::uint16_t VolumeRight = 0; // 0 for a mono fader
    std::uint16_t MeterChannels = 0;
    std::uint16_t Flags = 0;
    bool Muted = false;
    bool MonoVolume = false;
    bool OnSpeakers = false; // the speakers destination or one of its sources
    bool HasControls = false;
    std::unique_ptr<MixerLine> next;
};

// The capture engine's view of a mixer device: a list of its lines with the
// ids and values of their volume faders, mute switches and peak meters. The
// mixer stays open until the list is rebuilt or this object is destroyed.
class MixerLineList {
public:
    explicit MixerLineList(mixer::MixerSystem& system = mixer::defaultSystem());
    ~MixerLineList();
    MixerLineList(const MixerLineList&) = delete;
    MixerLineList& operator=(const MixerLineList&) = delete;

    // Lists the lines of a device: the device record, then each destination
    // followed by its sources. A previous list is released and its mixer
    // closed first. False when there is no mixer, the device cannot be opened,
    // a line cannot be read or the device has no destinations; the records
    // added until then stay.
    bool enumerate(int device);

    const MixerLine* lines() const { return lines_.get(); }
    mixer::Mixer* handle() const { return handle_.get(); }

    // Set by the owner when an enumeration succeeded.
    bool ok() const { return ok_; }
    void setOk(bool ok) { ok_ = ok; }

private:
    void release();
    void addLine(const mixer::LineInfo& line, bool onSpeakers);
    void readControls(const mixer::LineInfo& line, MixerLine& record);
    void append(std::unique_ptr<MixerLine> record);

    mixer::MixerSystem& system_;
    std::unique_ptr<mixer::Mixer> handle_;
    std::unique_ptr<MixerLine> lines_;
    MixerLine* last_ = nullptr;
    bool ok_ = false;
};
