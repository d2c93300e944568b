#include "platform/capture/InputCapture.h"

#include "platform/capture/PortAudioInputCapture.h"
#include "platform/capture/VirtualInputCapture.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace audio {
namespace {

std::atomic<CaptureBackend> g_backend{CaptureBackend::FromEnvironment};

std::size_t wholeFrames(std::size_t bytes, const CaptureFormat& format) {
    const auto frame = std::size_t(std::max(format.bytesPerFrame(), 1));
    return std::max(bytes - bytes % frame, frame);
}

} // namespace

InputCapture::InputCapture(const CaptureFormat& format, std::size_t blockBytes,
                           BlockHandler handler)
    : format_(format)
    , handler_(std::move(handler))
    , block_(wholeFrames(blockBytes, format)) {}

InputCapture::~InputCapture() = default;

Status InputCapture::start() {
    {
        std::lock_guard lock(mutex_);
        if (running_)
            return Status::success();
        running_ = true;
        filled_ = 0;
    }
    Status status = startSource();
    if (!status) {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    return status;
}

void InputCapture::stop() {
    stopSource(); // the source no longer delivers once this returns
    std::lock_guard lock(mutex_);
    running_ = false;
    filled_ = 0;
}

bool InputCapture::running() {
    std::lock_guard lock(mutex_);
    return running_;
}

void InputCapture::deliver(const char* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    while (running_ && count > 0) {
        const std::size_t n = std::min(block_.size() - filled_, count);
        std::memcpy(block_.data() + filled_, bytes, n);
        filled_ += n;
        bytes += n;
        count -= n;
        if (filled_ == block_.size()) {
            filled_ = 0;
            if (handler_)
                handler_(std::span<const char>(block_));
        }
    }
}

void useCaptureBackend(CaptureBackend backend) {
    g_backend = backend;
}

CaptureBackend activeCaptureBackend() {
    const CaptureBackend chosen = g_backend;
    if (chosen != CaptureBackend::FromEnvironment)
        return chosen;
    const char* env = std::getenv("KOLVADECK_AUDIO");
    return env && std::strcmp(env, "virtual") == 0 ? CaptureBackend::Virtual
                                                   : CaptureBackend::PortAudio;
}

int inputDeviceCount() {
    return activeCaptureBackend() == CaptureBackend::Virtual ? 1 : portAudioInputCount();
}

std::unique_ptr<BackgroundTask> prepareInputCapture(std::function<void()> ready) {
    if (activeCaptureBackend() == CaptureBackend::Virtual) {
        ready();
        return nullptr;
    }
    return std::make_unique<BackgroundTask>(
        [ready = std::move(ready)](const std::atomic<bool>&) -> BackgroundTask::Completion {
            // Released on the task's thread once `ready` has run (or been dropped).
            auto started = std::make_shared<PortAudioReference>();
            return [ready, started] { ready(); };
        });
}

Status openInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                        InputCapture::BlockHandler handler,
                        std::unique_ptr<InputCapture>& capture) {
    capture.reset();
    if (!format.valid())
        return Status::failure("The sound input cannot record in this format (" +
                               std::to_string(format.channels) + " channels at " +
                               std::to_string(format.rate) + " Hz).");
    if (activeCaptureBackend() == CaptureBackend::Virtual)
        return openVirtualInputCapture(device, format, blockBytes, std::move(handler), capture);
    return openPortAudioInputCapture(device, format, blockBytes, std::move(handler), capture);
}

} // namespace audio
