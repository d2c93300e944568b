#include "convert/ConversionFormats.h"

namespace {
// What lies between the input's name ("{T}.flv") and the output's name.
std::vector<std::string> middleArguments(ConversionFormat format) {
    switch (format) {
    case ConversionFormat::MP4:
        return {"-deinterlace", "-s",      "320x240", "-r",  "10",   "-b",
                "220k",         "-qscale", "6",       "-ar", "44100"};
    case ConversionFormat::FLV:
        return {"-deinterlace", "-s",    "320x240", "-r",  "10", "-b", "220k", "-qscale", "6",
                "-ar",          "22050", "-ab",     "96k", "-f", "flv"};
    case ConversionFormat::MP3:
        break;
    }
    return {"-ar", "44100", "-ab", "196", "-ac", "2"};
}
} // namespace

FormatDialogSettings dialogSettingsFor(ConversionFormat format) {
    switch (format) {
    case ConversionFormat::MP4:
        return {"*.mp4", "mp4"};
    case ConversionFormat::FLV:
        return {"*.flv", "flv"};
    case ConversionFormat::MP3:
        break;
    }
    return {"*.mp3", "mp3"};
}

std::vector<std::string> converterArguments(ConversionFormat format, const std::string& target) {
    std::vector<std::string> arguments{"-y", "-i", intermediateFile(target)};
    for (std::string& argument : middleArguments(format))
        arguments.push_back(std::move(argument));
    arguments.push_back(target);
    return arguments;
}

std::vector<std::string> downloaderArguments(const std::string& target,
                                             const std::string& pageAddress) {
    return {"--user-agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1;)", "-o",
            intermediateFile(target), pageAddress};
}
