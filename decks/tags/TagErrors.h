#pragma once

#include <stdexcept>
#include <string>

// A file that could not be opened; the message names the file and the
// system's reason: Cannot open file "<path>". <reason>
class EFOpenError : public std::runtime_error {
public:
    EFOpenError(const std::string& path, int error);
};

// A read or write that failed after the file was opened.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& what, const std::string& path, int error);
};
