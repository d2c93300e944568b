#pragma once

#include "platform/CallInbox.h"
#include "platform/capture/InputCapture.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>

// The level meter's recording: an audio::InputCapture of a sound input whose
// blocks are handed, copied, to a handler on the thread that made this
// object, through a CallInbox. At most kBlocksInFlight blocks wait for that
// thread at a time; a block recorded while they do is lost, so a busy window
// never falls behind the input. Closing drops the blocks still on their way.
class LevelCapture {
public:
    static constexpr int kBlocksInFlight = 2;
    using BlockHandler = std::function<void(std::span<const char> block)>;

    LevelCapture(const audio::CaptureFormat& format, std::size_t blockBytes, BlockHandler handler);
    ~LevelCapture();
    LevelCapture(const LevelCapture&) = delete;
    LevelCapture& operator=(const LevelCapture&) = delete;

    // Opens the device (audio::InputCapture::kDefaultDevice: the system's
    // preferred input) and starts recording; an open capture is closed first.
    audio::Status start(int device = audio::InputCapture::kDefaultDevice);
    // Closes the device at once.
    void stop();
    // Hands no block on from now; the device closes once the blocks on
    // their way have arrived (at once when none is).
    void stopWhenDrained();

    bool isOpen() const { return capture_ != nullptr; }
    // Open and handing blocks on.
    bool isDelivering() const { return isOpen() && !draining_; }
    const audio::CaptureFormat& format() const { return format_; }
    std::size_t blockBytes() const { return blockBytes_; }

private:
    void arrived(std::span<const char> block);

    const audio::CaptureFormat format_;
    const std::size_t blockBytes_;
    const BlockHandler handler_;
    // One opening of the device, shared with the capture's thread and the
    // blocks on their way.
    struct Opening {
        std::atomic<int> inFlight{0}; // blocks sent and not yet arrived
        bool closed = false;          // this object's thread only
        CallInbox* inbox = nullptr;   // deleted later once closed
    };
    std::shared_ptr<Opening> opening_;
    std::unique_ptr<audio::InputCapture> capture_;
    bool draining_ = false;
};
