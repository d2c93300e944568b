// The entry of the kolvadeck-ffmpeg module, which the program loads with the
// first track that is not an MP3 (see platform/audio/FfmpegModule.h).
#include "ffmpeg/FfmpegDecoder.h"
#include "platform/audio/DecoderAdapter.h"

extern "C" __attribute__((visibility("default"))) audio::TrackDecoder*
kolvadeck_new_ffmpeg_decoder() {
    return new audio::DecoderAdapter<audio::FfmpegDecoder>();
}
