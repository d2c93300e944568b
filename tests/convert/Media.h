#pragma once

#include <string>
#include <vector>

// Test media made in the run and read back with ffprobe.

// A 3-second 320x240 10 fps test picture with a 1 kHz tone (H.264 + AAC in
// MP4), made once per test program; empty when ffmpeg failed.
const std::string& testClip();

struct ProbedStream {
    std::string kind; // "video" or "audio"
    std::string codec;
    int width = 0, height = 0;
    std::string frameRate; // "10/1"
    int sampleRate = 0, channels = 0;
};

// The streams ffprobe finds in a file (none when it cannot read it).
std::vector<ProbedStream> probe(const std::string& path);

// The first stream of a kind, or an empty one.
ProbedStream streamOf(const std::vector<ProbedStream>& streams, const std::string& kind);

// Runs a program with arguments (no shell), standard error into `errors`;
// returns its exit status (-1 when it did not exit normally).
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               std::string* errors = nullptr);
