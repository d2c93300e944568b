#pragma once

#include "catalog/ConnectionPool.h"
#include "catalog/Service.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

// The service over HTTP: the music and video search paths, and /media/<id>.<ext>
// streaming a catalogued video (byte ranges honoured). Media are found by their
// catalogue id only; nothing of a request is ever used as a file path.
class HttpServer {
public:
    explicit HttpServer(ConnectionPool& pool);
    ~HttpServer();

    // Binds to address:port (port 0: a free one); the bound port, or -1.
    int Bind(const std::string& address, int port);
    // Serves until Stop() is called (from another thread or a signal's watcher).
    void Listen();
    void Stop();

private:
    void Routes();
    std::string ServiceAddress(const std::string& hostHeader) const;

    ConnectionPool& pool_;
    Service service_;
    std::unique_ptr<httplib::Server> server_;
    std::string address_;
    int port_ = -1;
};
