#include "RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

RawAnswer rawGet(int port, const std::string& target, const std::string& extraHeaders) {
    RawAnswer answer;
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return answer;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{30, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return answer;
    }
    // The service's own Host unless the test gives one.
    const bool ownHost =
        extraHeaders.starts_with("Host:") || extraHeaders.find("\r\nHost:") != std::string::npos;
    const std::string request =
        "GET " + target + " HTTP/1.1\r\n" +
        (ownHost ? std::string() : "Host: 127.0.0.1:" + std::to_string(port) + "\r\n") +
        extraHeaders + "Connection: close\r\n\r\n";
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    std::string reply;
    char buffer[16384];
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<size_t>(n));
    close(s);
    const size_t end = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return answer;
    answer.status = std::stoi(reply.substr(9, 3));
    answer.headers = reply.substr(0, end);
    answer.body = reply.substr(end + 4);
    return answer;
}
