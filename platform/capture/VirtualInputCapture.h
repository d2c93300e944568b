#pragma once

#include "platform/capture/InputCapture.h"

namespace audio {

// Opens a capture on the virtual input (device 0 or the default), unless the
// test told the next open to fail.
Status openVirtualInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                               InputCapture::BlockHandler handler,
                               std::unique_ptr<InputCapture>& capture);

} // namespace audio
