#include "convert/ConversionFormats.h"

namespace {
// What lies between the input's name (after "{T}") and the output's name.
const char* MiddlePiece(ConversionFormat format) {
    switch (format) {
    case ConversionFormat::MP4:
        return ".flv\" -deinterlace -s 320x240 -r 10 -b 220k -qscale 6 -ar 44100 \"";
    case ConversionFormat::FLV:
        return ".flv\" -deinterlace -s 320x240 -r 10 -b 220k -qscale 6 -ar 22050 -ab 96k -f flv "
               "\"";
    case ConversionFormat::MP3:
        break;
    }
    return ".flv\" -ar 44100 -ab 196 -ac 2 \"";
}
} // namespace

FormatDialogSettings DialogSettingsFor(ConversionFormat format) {
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

std::string ConverterParameters(ConversionFormat format, const std::string& target) {
    return " -y -i \"" + target + MiddlePiece(format) + target + "\"";
}

std::string DownloaderParameters(const std::string& target, const std::string& pageAddress) {
    return " --user-agent \"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1;)\" -o \"" +
           IntermediateFile(target) + "\" \"" + pageAddress + "\"";
}
