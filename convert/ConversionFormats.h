#pragma once

#include <string>
#include <vector>

// The three target formats: the save dialog's pattern (also the whole filter)
// and default extension, and the converter's arguments.
enum class ConversionFormat { MP3, MP4, FLV };

struct FormatDialogSettings {
    const char* pattern;   // "*.mp3": file name and filter
    const char* extension; // "mp3"
};

FormatDialogSettings dialogSettingsFor(ConversionFormat format);

// The converter's arguments for `target`: it reads target + ".flv" and writes
// target, e.g. for MP3
//  -y -i T.flv -ar 44100 -ab 196 -ac 2 T
std::vector<std::string> converterArguments(ConversionFormat format, const std::string& target);

// The downloader's arguments: it fetches `pageAddress` into target + ".flv".
std::vector<std::string> downloaderArguments(const std::string& target,
                                             const std::string& pageAddress);

// The file the downloader writes and the converter reads.
inline std::string intermediateFile(const std::string& target) {
    return target + ".flv";
}
