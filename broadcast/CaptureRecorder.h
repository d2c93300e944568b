#pragma once

#include "broadcast/BroadcastFormat.h"
#include "platform/capture/InputCapture.h"

#include <atomic>
#include <memory>
#include <span>
#include <string>

// The sound-input recorder: the input capture's blocks go, in turn, into a
// ring of four buffers, each handed to the owner's OnRecord on the capture
// thread (once triggered) and free again as soon as it returns.
class CaptureRecorder : public BroadcastFormat {
public:
    explicit CaptureRecorder(AudioCapture& owner);
    ~CaptureRecorder() override;

    std::uint16_t noSamples() const { return noSamples_; }
    // Stereo keeps SplitChannels; mono clears it.
    void setChannels(ChannelMode value) {
        BroadcastFormat::setChannels(value);
        applySplitRule();
    }
    void setNoSamples(std::uint16_t value);
    bool splitChannels() const { return splitChannels_; }
    // Kept only for stereo; mono forces it off.
    void setSplitChannels(bool value);
    void applySplitRule();
    std::uint16_t trigLevel() const { return trigLevel_; }
    void setTrigLevel(std::uint16_t value) { trigLevel_ = value; }
    bool triggered() const { return triggered_; }
    void setTriggered(bool value) { triggered_ = value; }

    bool start();
    bool stop();

    // Internal steps, public for the component and its tests.
    bool openDevice();
    bool closeDevice();
    bool checkTrigger(const char* data, std::uint16_t n);
    void splitStereo(char* lp, char* rp, std::uint16_t n);

private:
    // Capture thread: one block recorded.
    void blockRecorded(std::span<const char> block);
    void composed(const std::string& message, const audio::Status& status);

    bool splitChannels_ = false;
    std::uint16_t trigLevel_ = 128;
    bool triggered_ = true;
    std::unique_ptr<audio::InputCapture> capture_;
};
