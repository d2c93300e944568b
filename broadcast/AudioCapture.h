#pragma once

#include "broadcast/BroadcastFormat.h"
#include "broadcast/CaptureRecorder.h"
#include "broadcast/MixerLineList.h"

#include <functional>
#include <memory>
#include <string>

// The broadcast's capture component: a sound-input recorder (blocks from
// audio::InputCapture) with a ring of four buffers that hands each filled
// buffer to OnRecord on the capture thread, and the mixer line list.
// Nothing raises: operations return a Boolean and leave ErrorText.
//
// Threads: OnRecord runs on the capture thread (the input capture's block
// handler); everything else runs on the main thread. The format and the device are changed only
// while the recorder is closed.
class AudioCapture {
public:
    // LP: the samples (the left half after a split), RP: the right half or
    // null, BufferSize: bytes in LP. The handler is done with the data when it
    // returns: the buffer goes back to the device.
    using RecordHandler =
        std::function<void(CaptureRecorder& Sender, char* LP, char* RP, std::uint16_t BufferSize)>;

    explicit AudioCapture(mixer::MixerSystem& mixers = mixer::defaultSystem());
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    int audioDeviceID() const { return audioDeviceID_; }
    // Values above 9 become -1 (the system's default input); reallocates the
    // recorder's buffers when the value changes.
    void setAudioDeviceID(int value);
    int mixerDeviceID() const { return mixerDeviceID_; }
    // Lists the lines of that mixer device when the value changes.
    void setMixerDeviceID(int value);

    CaptureRecorder& recorder() { return *recorder_; }
    MixerLineList& mixerSettings() { return *mixerSettings_; }

    RecordHandler OnRecord;

    std::string errorText;

private:
    int audioDeviceID_ = audio::InputCapture::kDefaultDevice;
    int mixerDeviceID_ = -1;
    std::unique_ptr<CaptureRecorder> recorder_;
    std::unique_ptr<MixerLineList> mixerSettings_;
};
