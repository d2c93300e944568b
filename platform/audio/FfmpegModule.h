#pragma once

#include "platform/audio/TrackDecoder.h"

#include <memory>

namespace audio {

// A decoder of FFmpeg's formats from the kolvadeck-ffmpeg module, loaded with
// the first call (from any thread; see platform/LoadableModule.h). Throws
// MediaError when the module cannot be loaded.
std::unique_ptr<TrackDecoder> makeFfmpegDecoder();

} // namespace audio
