#include "catalog/HttpServer.h"

#include "catalog/Queries.h"
#include "catalog/Scanner.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>

namespace {

std::string RawQuery(const httplib::Request& request) {
    const size_t mark = request.target.find('?');
    return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

// The library applies a request's byte ranges to every answer, and a range
// that starts past the end makes it announce a wrapped-around length. Ranges
// are therefore checked and fitted here, and dropped from answers they do not concern.
void ForgetRanges(const httplib::Request& request) {
    const_cast<httplib::Request&>(request).ranges.clear();
}

// False when a range asks for nothing of the file; otherwise ends that reach
// past the file are brought back to its last byte.
bool FitRanges(const httplib::Request& request, std::int64_t size) {
    for (auto& [first, last] : const_cast<httplib::Request&>(request).ranges) {
        if (first < 0 ? last <= 0 : first >= size || (last >= 0 && first > last))
            return false;
        if (first >= 0 && (last < 0 || last >= size))
            last = static_cast<ssize_t>(size - 1);
    }
    return true;
}

void Send(const httplib::Request& request, httplib::Response& response, const Reply& reply) {
    ForgetRanges(request);
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType.c_str());
}

void NotFound(httplib::Response& response) {
    response.status = 404;
    response.set_content("Not found\n", "text/plain");
}

const char* MediaType(const std::string& extension) {
    const char* video = VideoMediaType(extension);
    return video ? video : "application/octet-stream";
}

// An open file handed to the response; closed when the response is done.
struct OpenFile {
    int descriptor = -1;
    ~OpenFile() {
        if (descriptor >= 0)
            close(descriptor);
    }
};

// A host header fit to start the media addresses with: a name or address and
// an optional port, nothing else.
bool PlainHost(const std::string& host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' || c == '[' ||
                        c == ']';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

HttpServer::HttpServer(ConnectionPool& pool)
    : pool_(pool)
    , service_(pool)
    , server_(std::make_unique<httplib::Server>()) {
    Routes();
}

HttpServer::~HttpServer() = default;

std::string HttpServer::ServiceAddress(const std::string& hostHeader) const {
    if (PlainHost(hostHeader))
        return "http://" + hostHeader;
    const bool ipv6 = address_.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

void HttpServer::Routes() {
    server_->Get("/api/music/",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     Send(request, response, service_.Music(RawQuery(request)));
                 });
    server_->Get("/api/video/", [this](const httplib::Request& request,
                                       httplib::Response& response) {
        Send(request, response,
             service_.Video(RawQuery(request), ServiceAddress(request.get_header_value("Host"))));
    });
    server_->Get(R"(/media/(\d{1,18})\.([A-Za-z0-9]{1,8}))", [this](const httplib::Request& request,
                                                                    httplib::Response& response) {
        std::int64_t id = 0;
        const std::string idText = request.matches[1];
        std::from_chars(idText.data(), idText.data() + idText.size(), id);
        std::optional<queries::VideoFile> file;
        try {
            ConnectionPool::Lease db = pool_.Borrow();
            file = queries::FindVideoFile(*db, id);
        } catch (const CatalogError& error) {
            std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        }
        if (!file || file->extension != request.matches[2].str()) {
            ForgetRanges(request);
            NotFound(response);
            return;
        }
        auto open = std::make_shared<OpenFile>();
        open->descriptor = ::open(file->path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (open->descriptor < 0 || fstat(open->descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_size <= 0) {
            ForgetRanges(request);
            NotFound(response);
            return;
        }
        if (!FitRanges(request, info.st_size)) {
            ForgetRanges(request);
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(info.st_size));
            return;
        }
        response.set_header("Accept-Ranges", "bytes");
        response.set_content_provider(
            static_cast<size_t>(info.st_size), MediaType(file->extension),
            [open](size_t offset, size_t length, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                const size_t want = std::min(length, sizeof buffer);
                const ssize_t got =
                    pread(open->descriptor, buffer, want, static_cast<off_t>(offset));
                if (got <= 0)
                    return false;
                return sink.write(buffer, static_cast<size_t>(got));
            });
    });
    server_->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        ForgetRanges(request);
        if (response.body.empty())
            response.set_content(std::to_string(response.status) + "\n", "text/plain");
    });
    server_->set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, std::exception_ptr) {
            ForgetRanges(request);
            response.status = 500;
            response.set_content("Internal error\n", "text/plain");
        });
}

int HttpServer::Bind(const std::string& address, int port) {
    address_ = address;
    if (port == 0)
        port_ = server_->bind_to_any_port(address.c_str());
    else
        port_ = server_->bind_to_port(address.c_str(), port) ? port : -1;
    return port_;
}

void HttpServer::Listen() {
    server_->listen_after_bind();
}

void HttpServer::Stop() {
    server_->stop();
}
