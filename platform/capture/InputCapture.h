#pragma once

#include "platform/BackgroundTask.h"
#include "platform/capture/CaptureFormat.h"
#include "platform/capture/Status.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

// Sound input: an open capture records its device in a fixed format and hands
// the recording on in blocks of a fixed size, in order, through a handler
// called on the capture's own thread (for the virtual input: on the thread
// that advances its clock). Sound recorded while nobody takes it is the
// handler's to drop; the capture never waits for its consumer.
//
// Back ends: PortAudio input (the default device reaches PulseAudio/PipeWire)
// and a virtual input fed by tests (VirtualInput.h). KOLVADECK_AUDIO=virtual
// selects the virtual input for the whole program; UseCaptureBackend
// overrides that (tests).
namespace audio {

class InputCapture {
public:
    // One full block of recorded bytes; valid only during the call. The
    // handler must not stop or destroy its own capture.
    using BlockHandler = std::function<void(std::span<const char> block)>;

    static constexpr int kDefaultDevice = -1;

    virtual ~InputCapture();
    InputCapture(const InputCapture&) = delete;
    InputCapture& operator=(const InputCapture&) = delete;

    const CaptureFormat& format() const { return format_; }
    std::size_t blockBytes() const { return block_.size(); }

    // Starts recording; starting a running capture does nothing.
    Status start();
    // Stops recording. Once this returns the handler is not called any more;
    // a partly recorded block is dropped.
    void stop();
    bool running();

protected:
    InputCapture(const CaptureFormat& format, std::size_t blockBytes, BlockHandler handler);
    // Back ends push what they record through this; bytes arriving while
    // stopped are dropped.
    void deliver(const char* bytes, std::size_t count);

    // The back end's source of sound: begin and end recording.
    virtual Status startSource() = 0;
    virtual void stopSource() = 0;

private:
    const CaptureFormat format_;
    const BlockHandler handler_;
    std::mutex mutex_; // held while delivering, so a stop waits for a running handler
    std::vector<char> block_;
    std::size_t filled_ = 0;
    bool running_ = false;
};

enum class CaptureBackend { FromEnvironment, PortAudio, Virtual };
// Chooses the back end for captures opened from now on.
void useCaptureBackend(CaptureBackend backend);
CaptureBackend activeCaptureBackend();

// Number of devices that can record.
int inputDeviceCount();

// Gets the back end started off the calling thread, then runs `ready` on
// that thread (by a posted event; at once for the virtual input). PortAudio
// probes every device as it starts, 65-150 ms here, which the window's thread
// must not wait for; an open from `ready` finds it started. The back end is
// held started until `ready` returns. Destroying the returned task first
// drops `ready`.
std::unique_ptr<BackgroundTask> prepareInputCapture(std::function<void()> ready);

// Opens the default input (kDefaultDevice) or the n-th recording device,
// stopped. `blockBytes` is rounded down to whole frames (at least one).
Status openInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                        InputCapture::BlockHandler handler, std::unique_ptr<InputCapture>& capture);

} // namespace audio
