#include "catalog/VideoLength.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <cstdint>
#include <mutex>

namespace {
// A context closed with its owner.
struct Input {
    AVFormatContext* context = nullptr;
    ~Input() {
        if (context)
            avformat_close_input(&context);
    }
};
} // namespace

int videoSeconds(const std::string& path) {
    // The catalogue says what failed itself; FFmpeg's own lines would only
    // repeat it for every odd file of a collection.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Input input;
    AVDictionary* options = nullptr;
    // Only the file itself is read: a playlist-like container never makes
    // the scan open other files or the network.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&input.context, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return 0;
    // Most containers name their length in the header; the others give it
    // from the first packets' time stamps.
    if (input.context->duration == AV_NOPTS_VALUE || input.context->duration <= 0)
        if (avformat_find_stream_info(input.context, nullptr) < 0)
            return 0;
    const std::int64_t duration = input.context->duration;
    if (duration == AV_NOPTS_VALUE || duration <= 0)
        return 0;
    return static_cast<int>((duration + AV_TIME_BASE / 2) / AV_TIME_BASE);
}
