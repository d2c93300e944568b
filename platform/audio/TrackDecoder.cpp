#include "platform/audio/TrackDecoder.h"

#include "platform/audio/DecoderAdapter.h"
#include "platform/audio/FfmpegModule.h"
#include "platform/audio/Mp3Decoder.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace audio {

namespace {

// The extension after the last dot of the file name, lower-cased ("" if none).
std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    // ASCII only: the file system's bytes of other scripts stay as they are.
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return ext;
}

} // namespace

bool isMp3Extension(const std::string& path) {
    return lowerExtension(path) == "mp3";
}

bool isPlayableExtension(const std::string& path) {
    static constexpr std::array<std::string_view, 10> kPlayable = {
        "mp3", "flac", "ogg", "oga", "opus", "wav", "aif", "aiff", "m4a", "aac"};
    const std::string ext = lowerExtension(path);
    return std::find(kPlayable.begin(), kPlayable.end(), ext) != kPlayable.end();
}

std::unique_ptr<TrackDecoder> makeTrackDecoder(const std::string& path, TrackLength length) {
    if (isMp3Extension(path))
        return std::make_unique<DecoderAdapter<Mp3Decoder>>(length == TrackLength::Exact);
    return makeFfmpegDecoder();
}

} // namespace audio
