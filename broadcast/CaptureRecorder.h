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

    std::uint16_t NoSamples() const { return noSamples_; }
    // Stereo keeps SplitChannels; mono clears it.
    void SetChannels(ChannelMode value) {
        BroadcastFormat::SetChannels(value);
        ApplySplitRule();
    }
    void SetNoSamples(std::uint16_t value);
    bool SplitChannels() const { return splitChannels_; }
    // Kept only for stereo; mono forces it off.
    void SetSplitChannels(bool value);
    void ApplySplitRule();
    std::uint16_t TrigLevel() const { return trigLevel_; }
    void SetTrigLevel(std::uint16_t value) { trigLevel_ = value; }
    bool Triggered() const { return triggered_; }
    void SetTriggered(bool value) { triggered_ = value; }

    bool Start();
    bool Stop();

    // Internal steps, public for the component and its tests.
    bool OpenDevice();
    bool CloseDevice();
    bool CheckTrigger(const char* data, std::uint16_t n);
    void SplitStereo(char* lp, char* rp, std::uint16_t n);

private:
    // Capture thread: one block recorded.
    void BlockRecorded(std::span<const char> block);
    void Composed(const std::string& message, const audio::Status& status);

    bool splitChannels_ = false;
    std::uint16_t trigLevel_ = 128;
    bool triggered_ = true;
    std::unique_ptr<audio::InputCapture> capture_;
};
