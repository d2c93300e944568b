#pragma once

#include <string>
#include <utility>

namespace audio {

// The outcome of a device operation: success, or the reason it failed in a
// sentence the program can show or log.
class Status {
public:
    static Status success() { return Status(); }
    static Status failure(std::string error) { return Status(std::move(error)); }

    bool ok() const { return error_.empty(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

private:
    Status() = default;
    explicit Status(std::string error)
        : error_(error.empty() ? "Unknown error" : std::move(error)) {}
    std::string error_;
};

} // namespace audio
