// yt: the video downloader the program starts. It fetches the video behind a
// page address with yt-dlp into exactly the file named after -o.
#include "tools/YtOptions.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    try {
        arguments =
            YtDlpArguments(ParseYtArguments(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const YtError& error) {
        std::cerr << "yt: " << error.what() << '\n';
        return 2;
    }
    std::vector<char*> ytdlp;
    ytdlp.push_back(const_cast<char*>("yt-dlp"));
    for (std::string& argument : arguments)
        ytdlp.push_back(argument.data());
    ytdlp.push_back(nullptr);
    // Same process: whoever waits for or ends yt waits for or ends yt-dlp.
    execvp("yt-dlp", ytdlp.data());
    std::cerr << "yt: cannot run yt-dlp: " << std::strerror(errno) << '\n';
    return 127;
}
