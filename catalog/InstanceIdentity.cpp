#include "catalog/InstanceIdentity.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace instance_identity {

namespace {

constexpr size_t kSecretBytes = 16;

std::string Hex(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::string ReadSecret(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[2 * kSecretBytes];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    return n == static_cast<ssize_t>(sizeof buffer) ? std::string(buffer, sizeof buffer)
                                                    : std::string();
}

// The owner of the socket listening on address:port as the kernel lists it
// in /proc/net/tcp or tcp6 (address words printed as %08X of the stored
// 32-bit words); -1 when it is not listed.
long ListenerUid(const addrinfo& address) {
    char local[64] = {};
    const bool ipv6 = address.ai_family == AF_INET6;
    const auto* words =
        ipv6 ? reinterpret_cast<const std::uint32_t*>(
                   &reinterpret_cast<const sockaddr_in6*>(address.ai_addr)->sin6_addr)
             : reinterpret_cast<const std::uint32_t*>(
                   &reinterpret_cast<const sockaddr_in*>(address.ai_addr)->sin_addr);
    const unsigned port =
        ntohs(ipv6 ? reinterpret_cast<const sockaddr_in6*>(address.ai_addr)->sin6_port
                   : reinterpret_cast<const sockaddr_in*>(address.ai_addr)->sin_port);
    int at = 0;
    for (int i = 0; i < (ipv6 ? 4 : 1); ++i)
        at += std::snprintf(local + at, sizeof local - static_cast<size_t>(at), "%08X", words[i]);
    std::snprintf(local + at, sizeof local - static_cast<size_t>(at), ":%04X", port);
    std::ifstream table(ipv6 ? "/proc/net/tcp6" : "/proc/net/tcp");
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, localAddress, remote, state, queues, timer, retransmits;
        long uid = -1;
        fields >> slot >> localAddress >> remote >> state >> queues >> timer >> retransmits >> uid;
        if (localAddress == local && state == "0A") // listening
            return uid;
    }
    return -1;
}

} // namespace

std::string LoadOrCreateSecret(const std::string& dataFolder) {
    const std::string path = dataFolder + "/catalog.secret";
    if (std::string secret = ReadSecret(path); !secret.empty())
        return secret;
    unsigned char bytes[kSecretBytes];
    const int random = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    const bool got = random >= 0 && read(random, bytes, sizeof bytes) == sizeof bytes;
    if (random >= 0)
        close(random);
    if (!got)
        throw std::runtime_error("cannot read /dev/urandom");
    const std::string secret = Hex(bytes, sizeof bytes);
    // Written whole under a temporary name and renamed, so that two instances
    // starting at once end up with one secret.
    const std::string temporary = path + "." + std::to_string(getpid());
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, secret.data(), secret.size()) != static_cast<ssize_t>(secret.size()) ||
        fsync(fd) != 0) {
        if (fd >= 0)
            close(fd);
        unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path);
    }
    close(fd);
    if (link(temporary.c_str(), path.c_str()) != 0) { // another instance was first
        unlink(temporary.c_str());
        if (std::string theirs = ReadSecret(path); !theirs.empty())
            return theirs;
        throw std::runtime_error("cannot make " + path);
    }
    unlink(temporary.c_str());
    return secret;
}

std::string Text(unsigned uid, const std::string& secret) {
    return "kolvadeck-catalog\nuid=" + std::to_string(uid) + "\nsecret=" + secret + "\n";
}

bool Answers(const std::string& address, int port, const std::string& identity) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return false;
    // The kernel's word on the listener's owner comes first: the identity
    // answer can be read by anyone who asked this user's service before.
    const long owner = ListenerUid(*found);
    if (owner >= 0 && owner != static_cast<long>(getuid())) {
        freeaddrinfo(found);
        return false;
    }
    const int s = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{2, 0};
    const bool connected = s >= 0 &&
                           setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0 &&
                           setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0 &&
                           connect(s, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    std::string answer;
    if (connected) {
        const bool ipv6 = address.find(':') != std::string::npos;
        const std::string request =
            "GET /api/identity HTTP/1.1\r\nHost: " + (ipv6 ? "[" + address + "]" : address) + ":" +
            std::to_string(port) + "\r\nConnection: close\r\n\r\n";
        if (send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (ssize_t n; answer.size() < 65536 && (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<size_t>(n));
        }
    }
    if (s >= 0)
        close(s);
    const size_t body = answer.find("\r\n\r\n");
    return answer.starts_with("HTTP/1.1 200") && body != std::string::npos &&
           answer.substr(body + 4) == identity;
}

} // namespace instance_identity
