#include "catalog/HttpServer.h"

#include "catalog/ApiRouter.h"
#include "catalog/IdentityChallenge.h"
#include "catalog/InstanceIdentity.h"
#include "catalog/Queries.h"
#include "catalog/QueryString.h"
#include "catalog/Scanner.h"

#include <charconv>
#include <cstdio>
#include <regex>

namespace {

std::string rawQuery(const httplib::Request& request) {
    const size_t mark = request.target.find('?');
    return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

// The library applies a request's byte ranges to every answer; the search
// answers are always sent whole.
void forgetRanges(const httplib::Request& request) {
    const_cast<httplib::Request&>(request).ranges.clear();
}

void send(const httplib::Request& request, httplib::Response& response, const Reply& reply) {
    forgetRanges(request);
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType.c_str());
}

Outgoing notFound() {
    return Outgoing::text(404, "Not Found", "text/plain", "Not found\n");
}

// The value of one header of a checked header block; empty when absent.
std::string headerValue(std::string_view block, std::string_view name) {
    size_t start = block.find('\n');
    while (start != std::string_view::npos && start + 1 < block.size()) {
        const size_t end = block.find('\n', start + 1);
        std::string_view line = block.substr(start + 1, end - start - 1);
        start = end;
        const size_t colon = line.find(':');
        if (colon != name.size() ||
            !std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            continue;
        line.remove_prefix(colon + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        return std::string(line);
    }
    return {};
}

} // namespace

HttpServer::HttpServer(ConnectionPool& pool, std::vector<std::string> videoFolders)
    : pool_(pool)
    , service_(pool)
    , videoFolders_(std::move(videoFolders))
    , router_(std::make_unique<ApiRouter>())
    , server_(
          [this](const RequestHead& head, std::string_view block) { return handle(head, block); }) {
    router_->Get("/api/music/",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     send(request, response, service_.music(rawQuery(request)));
                 });
    router_->Get("/api/video/",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     send(request, response, service_.video(rawQuery(request), serviceAddress()));
                 });
    // Only the proof for the asker's own fresh nonce, never the secret.
    router_->Get("/api/identity", [this](const httplib::Request& request,
                                         httplib::Response& response) {
        forgetRanges(request);
        const auto query = QueryString::parse(rawQuery(request), {"nonce"});
        const std::string nonce = query ? query->get("nonce") : std::string();
        if (!identity_challenge::isHex(nonce, identity_challenge::kNonceBytes)) {
            response.status = 400;
            response.set_content("a nonce of 64 hex digits is needed\n", "text/plain");
            return;
        }
        response.set_content(instance_identity::proof(secret_, port_, nonce) + "\n", "text/plain");
    });
    router_->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        forgetRanges(request);
        if (response.body.empty())
            response.set_content(std::to_string(response.status) + "\n", "text/plain");
    });
    router_->set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, std::exception_ptr) {
            forgetRanges(request);
            response.status = 500;
            response.set_content("Internal error\n", "text/plain");
        });
}

HttpServer::~HttpServer() = default;

void HttpServer::setSecret(std::string secret) {
    secret_ = std::move(secret);
}

// Media addresses always name the service's own address: the request's Host
// has been checked, but the answer does not depend on it.
std::string HttpServer::serviceAddress() const {
    const bool ipv6 = address_.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

Outgoing HttpServer::handle(const RequestHead& head, std::string_view block) {
    if (head.target.starts_with("/media/"))
        return media(head, block);
    Outgoing out;
    out.pieces.push_back({router_->answer(block), 0, 0});
    return out;
}

Outgoing HttpServer::media(const RequestHead& head, std::string_view block) {
    static const std::regex kMediaPath(R"(/media/(\d{1,18})\.([A-Za-z0-9]{1,8}))");
    std::smatch match;
    const std::string path = head.target.substr(0, head.target.find('?'));
    if (!std::regex_match(path, match, kMediaPath))
        return notFound();
    std::int64_t id = 0;
    const std::string idText = match[1];
    std::from_chars(idText.data(), idText.data() + idText.size(), id);
    std::optional<queries::VideoFile> file;
    const std::uint64_t generation = pool_.generation();
    try {
        ConnectionPool::Lease db = pool_.borrow();
        file = queries::findVideoFile(*db, id);
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", error.what());
        if (error.damaged())
            pool_.reportDamage(generation);
    }
    if (!file || file->extension != match[2].str())
        return notFound();
    const std::optional<MediaFile> media = openMediaFile(file->path, videoFolders_);
    if (!media)
        return notFound();
    const char* type = videoMediaType(file->extension);
    return mediaAnswer(*media, type ? type : "application/octet-stream",
                       headerValue(block, "Range"), head.method == "HEAD");
}

int HttpServer::bind(const std::string& address, int port, int& error) {
    address_ = address;
    port_ = server_.bind(address, port, error);
    return port_;
}

void HttpServer::listen() {
    server_.run();
}

void HttpServer::stop() {
    server_.stop();
}
