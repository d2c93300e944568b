// mconv: the media converter the program starts. It takes the converter
// options of an old ffmpeg and runs Debian's ffmpeg with their modern forms.
#include "tools/MconvOptions.h"
#include "tools/ReplaceProcess.h"

#include <iostream>
#include <utility>

int main(int argc, char** argv) {
    std::vector<std::string> translated;
    try {
        translated = translateMconvArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const MconvError& error) {
        std::cerr << "mconv: " << error.what() << '\n';
        return 2;
    }
    return replaceProcess("mconv", "ffmpeg", std::move(translated));
}
