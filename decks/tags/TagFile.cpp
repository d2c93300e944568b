#include "decks/tags/TagFile.h"

#include "decks/tags/TagErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TagFile::TagFile(const std::string& path, Mode mode)
    : path_(path) {
    // O_NONBLOCK keeps a named pipe from blocking the open; it is rejected below.
    // Regular files, the only ones kept, ignore the flag.
    const int flags = (mode == Mode::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    fd_ = ::open(path.c_str(), flags);
    if (fd_ < 0) {
        openError_ = errno;
        return;
    }
    struct stat st {};
    int error = 0;
    if (::fstat(fd_, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    // The owner's read-only marking is honoured even where the process could
    // override it (running as root), so a protected file keeps its tag.
    else if (mode == Mode::ReadWrite && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        error = EACCES;
    if (error != 0) {
        fail(error);
        return;
    }
    stamp_ = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

TagFile::~TagFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void TagFile::fail(int error) {
    ::close(fd_);
    fd_ = -1;
    openError_ = error;
}

std::size_t TagFile::readAt(char* buffer, std::size_t count, off_t offset) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, buffer + done, count - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EInOutError("reading", path_, errno);
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

void TagFile::writeAt(const char* buffer, std::size_t count, off_t offset) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, buffer + done, count - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EInOutError("writing", path_, n < 0 ? errno : EIO);
        done += std::size_t(n);
    }
}

void TagFile::close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0)
        throw EInOutError("closing", path_, errno);
}
