#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// The converter's command line is written in the option language of an old
// ffmpeg. These translate it into what Debian's ffmpeg 5 accepts.
struct MconvError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Translates the legacy arguments (without the program name) into ffmpeg's
// arguments (without the program name):
// - -loop_input becomes -loop 1 before the picture's -i; -re, -f, -ar, -ac, -s
//   and -r stay before the -i they precede, and after the last -i they apply
//   to the output;
// - -deinterlace becomes -vf yadif, -b becomes -b:v, -qscale becomes -q:v, and
//   -ab becomes -b:a, a bare number meaning kbit/s (96 -> 96k). These only
//   ever meant the output, so one placed before an -i applies to the output;
// - -y is kept; -nostdin, -hide_banner and -loglevel error are added, and
//   -shortest when a looped picture is joined with another input, so that the
//   output ends when the sound ends;
// - the one argument that is no option is the output, and it comes last.
// Throws MconvError for an unknown option, a missing value, no input, no
// output, or anything after the output.
std::vector<std::string> translateMconvArguments(const std::vector<std::string>& legacy);
