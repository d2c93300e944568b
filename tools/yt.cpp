// yt: the video downloader the program starts. It fetches the video behind a
// page address with yt-dlp into exactly the file named after -o.
#include "tools/ReplaceProcess.h"
#include "tools/YtOptions.h"

#include <iostream>
#include <utility>

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    try {
        arguments =
            ytDlpArguments(parseYtArguments(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const YtError& error) {
        std::cerr << "yt: " << error.what() << '\n';
        return 2;
    }
    return replaceProcess("yt", "yt-dlp", std::move(arguments));
}
