// mconv: the media converter the program starts. It takes the converter
// options of an old ffmpeg and runs Debian's ffmpeg with their modern forms.
#include "tools/MconvOptions.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> translated;
    try {
        translated = TranslateMconvArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const MconvError& error) {
        std::cerr << "mconv: " << error.what() << '\n';
        return 2;
    }
    std::vector<char*> ffmpeg;
    ffmpeg.push_back(const_cast<char*>("ffmpeg"));
    for (std::string& argument : translated)
        ffmpeg.push_back(argument.data());
    ffmpeg.push_back(nullptr);
    // Same process: whoever waits for or ends mconv waits for or ends ffmpeg.
    execvp("ffmpeg", ffmpeg.data());
    std::cerr << "mconv: cannot run ffmpeg: " << std::strerror(errno) << '\n';
    return 127;
}
