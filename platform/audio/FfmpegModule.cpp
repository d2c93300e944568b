#include "platform/audio/FfmpegModule.h"

#include "platform/LoadableModule.h"
#include "platform/audio/MediaError.h"

#include <cstdio>
#include <string>

namespace audio {

std::unique_ptr<TrackDecoder> makeFfmpegDecoder() {
    using Factory = TrackDecoder* (*)();
    static const Factory factory = [] {
        std::string why;
        auto found = reinterpret_cast<Factory>(
            moduleSymbol("kolvadeck-ffmpeg", "kolvadeck_new_ffmpeg_decoder", &why));
        if (!found)
            std::fprintf(stderr, "kolvadeck: formats other than MP3 cannot be decoded: %s\n",
                         why.c_str());
        return found;
    }();
    if (!factory)
        throw MediaError("This format cannot be played: its decoder is not installed");
    return std::unique_ptr<TrackDecoder>(factory());
}

} // namespace audio
