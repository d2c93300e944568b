#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <sys/types.h>

// One state of a file: which file it is (device and inode), its size and its
// modification time. A file replaced, rewritten or grown since has another.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

// One regular file opened for the tag readers and the writer. Opening never
// throws (IsOpen/OpenError tell); reads and writes that fail throw EInOutError.
// Folders, pipes and devices count as files that cannot be opened, so that a
// stray path never blocks or turns into an I/O error.
class TagFile {
public:
    enum class Mode { Read, ReadWrite };

    TagFile(const std::string& path, Mode mode);
    ~TagFile();
    TagFile(const TagFile&) = delete;
    TagFile& operator=(const TagFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int openError() const { return openError_; }
    off_t size() const { return stamp_.size; }
    // The file's state when it was opened.
    const FileStamp& stamp() const { return stamp_; }

    // Reads up to count bytes at offset; fewer only at the end of the file.
    std::size_t readAt(char* buffer, std::size_t count, off_t offset);
    // Writes all count bytes at offset.
    void writeAt(const char* buffer, std::size_t count, off_t offset);
    // Closes the file, reporting a failed close (a write the system could not complete).
    void close();

private:
    void fail(int error);

    std::string path_;
    int fd_ = -1;
    int openError_ = 0;
    FileStamp stamp_;
};
