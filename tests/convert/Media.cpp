#include "Media.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Where the helpers keep their files: the system's temporary folder (usable
// by the benchmarks too, which do not link the test framework).
std::string scratchDir() {
    return std::filesystem::temp_directory_path().string();
}
} // namespace

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               std::string* errors) {
    const std::string errorFile = scratchDir() + "/run_errors_" + std::to_string(getpid()) + ".txt";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, 0);
        dup2(null, 1);
        dup2(err, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (errors)
        *errors = slurp(errorFile);
    std::remove(errorFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string& testClip() {
    static const std::string clip = [] {
        const std::string path =
            scratchDir() + "/convert_clip_" + std::to_string(getpid()) + ".mp4";
        const int status =
            runProgram("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                  "testsrc=size=320x240:rate=10", "-f", "lavfi", "-i",
                                  "sine=frequency=1000:sample_rate=44100",
                                  // Long enough that the converters write their output in
                                  // several pieces, so a test can catch them mid-way.
                                  "-t", "10", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
                                  "aac", "-ac", "2", path});
        return status == 0 ? path : std::string();
    }();
    return clip;
}

std::vector<ProbedStream> probe(const std::string& path) {
    const std::string out = scratchDir() + "/probe_" + std::to_string(getpid()) + ".txt";
    const std::string command = "ffprobe -v error -rw_timeout 5000000 -of compact=p=0:nk=0 "
                                "-show_entries stream=codec_type,codec_name,width,height,"
                                "r_frame_rate,sample_rate,channels '" +
                                path + "' > '" + out + "'";
    std::vector<ProbedStream> streams;
    if (std::system(command.c_str()) != 0)
        return streams;
    std::istringstream lines(slurp(out));
    std::remove(out.c_str());
    for (std::string line; std::getline(lines, line);) {
        ProbedStream s;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            const auto eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            const auto number = [&] { return std::atoi(value.c_str()); };
            if (key == "codec_type")
                s.kind = value;
            else if (key == "codec_name")
                s.codec = value;
            else if (key == "width")
                s.width = number();
            else if (key == "height")
                s.height = number();
            else if (key == "r_frame_rate")
                s.frameRate = value;
            else if (key == "sample_rate")
                s.sampleRate = number();
            else if (key == "channels")
                s.channels = number();
        }
        streams.push_back(s);
    }
    return streams;
}

ProbedStream streamOf(const std::vector<ProbedStream>& streams, const std::string& kind) {
    for (const ProbedStream& s : streams)
        if (s.kind == kind)
            return s;
    return {};
}
