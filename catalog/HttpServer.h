#pragma once

#include "catalog/ConnectionPool.h"
#include "catalog/LoopbackServer.h"
#include "catalog/Service.h"

#include <memory>
#include <string>
#include <vector>

class ApiRouter;

// The service over HTTP: the music and video search paths, /api/identity
// (the proof that answers a nonce, see catalog/IdentityChallenge.h), and
// /media/<id>.<ext> streaming a catalogued video (byte ranges honoured). Media
// are found by their catalogue id only and sent only from inside the video
// folders; nothing of a request is ever used as a file path.
class HttpServer {
public:
    HttpServer(ConnectionPool& pool, std::vector<std::string> videoFolders);
    ~HttpServer();

    // The user's secret, under which /api/identity answers a nonce.
    void setSecret(std::string secret);

    // Binds to address:port (port 0: a free one); the bound port, or -1 with
    // errno in error.
    int bind(const std::string& address, int port, int& error);
    // Serves until stop() is called (from another thread or a signal's watcher).
    void listen();
    void stop();

private:
    Outgoing handle(const RequestHead& head, std::string_view block);
    Outgoing media(const RequestHead& head, std::string_view block);
    std::string serviceAddress() const;

    ConnectionPool& pool_;
    Service service_;
    std::vector<std::string> videoFolders_;
    std::string secret_;
    std::unique_ptr<ApiRouter> router_;
    LoopbackServer server_;
    std::string address_;
    int port_ = -1;
};
