#pragma once

#include "platform/audio/StereoFrame.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

enum class StreamFormat { Mp3, Opus, Vorbis };

// Encodes the broadcast mix (44.1 kHz float stereo) at a constant bit rate,
// handing the encoded bytes to `output` as they come: MP3 frames (LAME), Ogg
// Opus pages (libopus, resampled to 48 kHz by the speex resampler) or Ogg Vorbis pages
// (libvorbisenc); an Ogg stream starts with its headers and carries the
// title in its comments.
class StreamEncoder {
public:
    using Output = std::function<void(const unsigned char* bytes, std::size_t size)>;

    virtual ~StreamEncoder() = default;
    virtual void encode(const audio::StereoFrame* frames, std::size_t count) = 0;
    // A track begins: an Ogg stream ends and a chained one begins whose
    // comments name it (how Ogg servers and players learn a new title). MP3
    // carries no title in the stream.
    virtual void newTrack(const std::string& title) = 0;
    // Ends the stream, handing over what the encoder still holds.
    virtual void finish() = 0;
};

// "Artist - Title" as the two comments ARTIST and TITLE (no artist when the
// text has no " - ").
std::pair<std::string, std::string> splitTitle(const std::string& title);

// Null when the encoder cannot be made (an impossible bit rate).
std::unique_ptr<StreamEncoder> makeStreamEncoder(StreamFormat format, int kbps,
                                                 const std::string& title,
                                                 StreamEncoder::Output output);
