#include "fuzz/TempInputFile.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TempInputFile::TempInputFile(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/kv-fuzz-" + std::to_string(::getpid()) +
            "-" + name;
}

TempInputFile::~TempInputFile() {
    ::unlink(path_.c_str());
}

void TempInputFile::write(const uint8_t* data, std::size_t size) {
    // A writer under test may have left the file read-only or removed it.
    ::unlink(path_.c_str());
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path_.c_str());
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            std::perror(path_.c_str());
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}
