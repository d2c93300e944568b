// mconv's translation of the old converter options on arbitrary arguments
// (split at zero bytes): it refuses with MconvError or gives an ffmpeg command
// line that reads no terminal and ends with the one output.
#include "fuzz/FuzzArguments.h"
#include "fuzz/FuzzCheck.h"
#include "tools/MconvOptions.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> legacy = fuzzArguments(data, size);
    std::vector<std::string> ffmpeg;
    try {
        ffmpeg = translateMconvArguments(legacy);
    } catch (const MconvError&) {
        return 0;
    }
    fuzzCheck(ffmpeg.size() >= 7 && ffmpeg[0] == "-nostdin", "ffmpeg never reads the terminal");
    const std::string& output = ffmpeg.back();
    fuzzCheck(!output.empty() && output.front() != '-', "the output is no option");
    fuzzCheck(std::find(legacy.begin(), legacy.end(), output) != legacy.end(),
              "the output is one of the given arguments");
    const auto inputs = [](const std::vector<std::string>& v) {
        return std::count(v.begin(), v.end(), std::string("-i"));
    };
    fuzzCheck(inputs(ffmpeg) >= 1 && inputs(ffmpeg) <= inputs(legacy), "inputs are kept");
    return 0;
}
