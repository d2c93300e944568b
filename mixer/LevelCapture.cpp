#include "mixer/LevelCapture.h"

#include <vector>

LevelCapture::LevelCapture(const audio::CaptureFormat& format, std::size_t blockBytes,
                           BlockHandler handler)
    : format_(format)
    , blockBytes_(blockBytes)
    , handler_(std::move(handler)) {}

LevelCapture::~LevelCapture() {
    stop();
}

audio::Status LevelCapture::start(int device) {
    stop();
    auto opening = std::make_shared<Opening>();
    opening->inbox = new CallInbox;
    // The capture's thread. The inbox outlives the capture: stop closes the
    // capture first, after which no block is sent.
    auto send = [this, opening](std::span<const char> block) {
        if (opening->inFlight.load() >= kBlocksInFlight)
            return; // the window has not taken the last ones: this one is lost
        ++opening->inFlight;
        opening->inbox->send([this, opening, copy = std::vector<char>(block.begin(), block.end())] {
            --opening->inFlight;
            if (!opening->closed)
                arrived(copy);
        });
    };
    std::unique_ptr<audio::InputCapture> capture;
    audio::Status status =
        audio::openInputCapture(device, format_, blockBytes_, std::move(send), capture);
    if (status)
        status = capture->start();
    if (!status) {
        capture.reset();
        delete opening->inbox;
        return status;
    }
    opening_ = std::move(opening);
    capture_ = std::move(capture);
    draining_ = false;
    return status;
}

void LevelCapture::stop() {
    capture_.reset(); // stops it: no block is sent after this
    if (opening_) {
        // Blocks on their way are dropped; this may run inside one of them.
        opening_->closed = true;
        opening_->inbox->deleteLater();
        opening_.reset();
    }
    draining_ = false;
}

void LevelCapture::stopWhenDrained() {
    if (!isOpen())
        return;
    draining_ = true;
    if (opening_->inFlight.load() == 0)
        stop();
}

void LevelCapture::arrived(std::span<const char> block) {
    if (!draining_) {
        if (handler_)
            handler_(block);
        return;
    }
    if (opening_ && opening_->inFlight.load() == 0)
        stop();
}
