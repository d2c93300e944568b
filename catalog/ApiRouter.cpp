#include "catalog/ApiRouter.h"

#include <algorithm>
#include <cstring>

namespace {

// The request's bytes in, the answer's bytes out; no socket behind it.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(std::string_view input)
        : input_(input) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, input_.size());
        std::memcpy(ptr, input_.data(), n);
        input_.remove_prefix(n);
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        output_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    std::string take() { return std::move(output_); }

private:
    std::string_view input_;
    std::string output_;
};

} // namespace

std::string ApiRouter::answer(std::string_view block) {
    MemoryStream stream(block);
    bool closed = false;
    process_request(stream, true, closed, [](httplib::Request&) {});
    return stream.take();
}
