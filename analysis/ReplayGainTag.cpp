#include "analysis/ReplayGainTag.h"

#include <charconv>
#include <cmath>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

namespace analysis {

namespace {

// "-6.48 dB" → -6.48. from_chars reads the dot whatever the locale says.
std::optional<double> parseGain(const std::string& text) {
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

// "0.988553" → -0.1 dBFS; a peak of zero, below or absurdly high is unusable.
std::optional<double> parsePeakDb(const std::string& text) {
    const std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return std::nullopt;
    double value = 0;
    const std::from_chars_result parsed =
        std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (parsed.ec != std::errc() || !std::isfinite(value) || value <= 0 || value > 100)
        return std::nullopt;
    return 20 * std::log10(value);
}

std::optional<ReplayGain> combine(std::optional<double> gainDb, std::optional<double> peakDb) {
    if (!gainDb)
        return std::nullopt;
    return ReplayGain{*gainDb, peakDb};
}

} // namespace

std::optional<ReplayGain> replayGainTag(const std::string& path) {
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || !file.file())
        return std::nullopt;
    // TagLib lists MP4 freeform atoms ("----:com.apple.iTunes:...") not
    // among the properties; they are read from the atoms themselves.
    std::optional<double> gain;
    std::optional<double> peak;
    auto take = [&](const TagLib::String& key, const TagLib::StringList& values) {
        if (values.isEmpty())
            return;
        const std::string name = key.upper().to8Bit(true);
        if (name.ends_with("REPLAYGAIN_TRACK_GAIN"))
            gain = parseGain(values.front().to8Bit(true));
        else if (name.ends_with("REPLAYGAIN_TRACK_PEAK"))
            peak = parsePeakDb(values.front().to8Bit(true));
    };
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.file()); mp4 && mp4->tag()) {
        for (const auto& [name, item] : mp4->tag()->itemMap())
            if (name.upper().startsWith("----:COM.APPLE.ITUNES:"))
                take(name, item.toStringList());
        return combine(gain, peak);
    }
    for (const auto& [key, values] : file.file()->properties())
        if (key.upper() == "REPLAYGAIN_TRACK_GAIN" || key.upper() == "REPLAYGAIN_TRACK_PEAK")
            take(key, values);
    return combine(gain, peak);
}

} // namespace analysis
