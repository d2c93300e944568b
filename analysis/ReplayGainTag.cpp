#include "analysis/ReplayGainTag.h"

#include <charconv>
#include <cmath>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

namespace analysis {

namespace {

// "-6.48 dB" → -6.48. from_chars reads the dot whatever the locale says.
std::optional<double> ParseGain(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return std::nullopt;
    if (text[i] == '+')
        ++i;
    double value = 0;
    const std::from_chars_result parsed =
        std::from_chars(text.data() + i, text.data() + text.size(), value);
    // Gains beyond ±60 dB are no gain a tagger writes: a damaged tag.
    if (parsed.ec != std::errc() || !std::isfinite(value) || std::fabs(value) > 60)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> ReplayGainTag(const std::string& path) {
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || !file.file())
        return std::nullopt;
    // TagLib lists MP4 freeform atoms ("----:com.apple.iTunes:...") not
    // among the properties; they are read from the atoms themselves.
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.file()); mp4 && mp4->tag()) {
        for (const auto& [name, item] : mp4->tag()->itemMap())
            if (name.upper() == "----:COM.APPLE.ITUNES:REPLAYGAIN_TRACK_GAIN" &&
                !item.toStringList().isEmpty())
                return ParseGain(item.toStringList().front().to8Bit(true));
        return std::nullopt;
    }
    const TagLib::PropertyMap properties = file.file()->properties();
    for (const auto& [key, values] : properties) {
        if (key.upper() == "REPLAYGAIN_TRACK_GAIN" && !values.isEmpty())
            return ParseGain(values.front().to8Bit(true));
    }
    return std::nullopt;
}

} // namespace analysis
