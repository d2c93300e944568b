#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz input as a file on disk, for readers that take a path. One file per
// process and name, rewritten for every input and removed at exit.
class TempInputFile {
public:
    explicit TempInputFile(const std::string& name);
    ~TempInputFile();
    TempInputFile(const TempInputFile&) = delete;
    TempInputFile& operator=(const TempInputFile&) = delete;

    // Replaces the file's content with the bytes; aborts when it cannot.
    void write(const uint8_t* data, std::size_t size);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
