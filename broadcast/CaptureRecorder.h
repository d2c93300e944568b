#pragma once

#include "broadcast/BroadcastFormat.h"
#include "platform/capture/InputCapture.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <span>
#include <string>

class CaptureRecorder;

// The hidden recorder window: on the main thread it hands each delivered
// buffer back to the device (the re-queue message the data path posts).
class RecorderRequeueReceiver : public QObject {
public:
    explicit RecorderRequeueReceiver(CaptureRecorder& recorder)
        : recorder_(recorder) {}
    static void PostRequeue(RecorderRequeueReceiver* window);

protected:
    bool event(QEvent* event) override;

private:
    CaptureRecorder& recorder_;
};

// The sound-input recorder: a ring of four buffers, one queued before the
// capture starts and three right after. Each recorded block fills the next
// queued buffer, which goes to the owner's OnRecord on the capture thread
// (once triggered), then is queued again through the main thread. A block
// that finds no buffer queued is lost.
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
    void AddNextBuffer();
    bool CheckTrigger(const char* data, std::uint16_t n);
    void SplitStereo(char* lp, char* rp, std::uint16_t n);

private:
    friend class RecorderRequeueReceiver;
    // Capture thread: one block recorded.
    void BlockRecorded(std::span<const char> block);
    void Requeue();
    void Composed(const std::string& message, const audio::Status& status);

    bool splitChannels_ = false;
    std::uint16_t trigLevel_ = 128;
    bool triggered_ = true;
    RecorderRequeueReceiver* window_;
    std::unique_ptr<audio::InputCapture> capture_;
    std::atomic<int> queued_{0}; // buffers waiting for a block
};
