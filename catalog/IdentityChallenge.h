#pragma once

#include <fcntl.h>
#include <netdb.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// How a process tells that the catalogue serving a loopback port is this
// user's own without the secret ever crossing the wire. It sends a fresh
// random nonce to /api/identity; the service answers the keyed hash
// (HMAC-SHA256) of its port and the nonce under the user's secret, a file only
// this user can read. Naming the port keeps an answer the service gave on one
// port from proving anything on another. Before anything is sent, the kernel's
// socket tables are read: a port on which another user listens, on any address
// of IPv4 or IPv6, is never this user's catalogue, whatever it would answer.
//
// The catalogue answers the challenge and checks a port it cannot take; the
// program checks the service its searches go to. Each computes the keyed hash
// with its own library, so this is header-only and needs nothing but the C
// library. Its own failures come back as empty answers, not as exceptions.
namespace identity_challenge {

inline constexpr std::size_t kSecretBytes = 32;
inline constexpr std::size_t kNonceBytes = 32;
inline constexpr const char* kSecretFileName = "kolvadeck-catalog.secret";

// Lowercase hex digits of the bytes.
inline std::string hex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

inline bool isHex(std::string_view text, std::size_t bytes) {
    return text.size() == 2 * bytes && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// That many bytes from the kernel's random source, as hex; empty when it
// gives none.
inline std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    for (std::size_t got = 0; got < bytes;) {
        const ssize_t n = getrandom(random.data() + got, bytes - got, 0);
        if (n < 0 && errno != EINTR)
            return {};
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return hex(random.data(), bytes);
}

// Kolvadeck's data folder: $XDG_DATA_HOME/Kolvadeck, by default
// ~/.local/share/Kolvadeck; empty when no home is known.
inline std::string dataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return std::string(dataHome) + "/Kolvadeck";
    const char* home = std::getenv("HOME");
    return home && home[0] ? std::string(home) + "/.local/share/Kolvadeck" : std::string();
}

// The folder of the secret: the user's runtime folder ($XDG_RUNTIME_DIR, the
// user's alone and emptied at logout); without one, Kolvadeck's data folder.
inline std::string secretFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && runtime[0] == '/' ? std::string(runtime) : dataFolder();
}

inline std::string secretFile() {
    const std::string folder = secretFolder();
    return folder.empty() ? folder : folder + "/" + kSecretFileName;
}

// The secret kept in the file; empty when the file is missing or malformed,
// is a link, or is not the user's own and closed to everyone else.
inline std::string readSecret(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    char text[2 * kSecretBytes + 1];
    const bool isPrivate = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                           info.st_uid == getuid() && (info.st_mode & 077) == 0;
    const ssize_t n = isPrivate ? read(fd, text, sizeof text) : -1;
    close(fd);
    const std::string secret = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : "";
    return isHex(secret, kSecretBytes) ? secret : std::string();
}

// The request target that challenges the service with the nonce.
inline std::string identityTarget(const std::string& nonce) {
    return "/api/identity?nonce=" + nonce;
}

// The text whose keyed hash answers the nonce on the port.
inline std::string challenge(int port, std::string_view nonce) {
    return "kolvadeck-catalog " + std::to_string(port) + " " + std::string(nonce);
}

// The owners of every socket listening on the TCP port, on any address, as
// the kernel lists them in /proc/net/tcp and /proc/net/tcp6 (local address as
// hex words, a colon and the port as four hex digits; state 0A is listening).
inline std::vector<unsigned> listenerOwners(int port) {
    std::vector<unsigned> owners;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream rows(table);
        std::string row;
        std::getline(rows, row); // the heading
        while (std::getline(rows, row)) {
            std::istringstream fields(row);
            std::string slot, local, remote, state, queues, timer, retransmits;
            long uid = -1;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid;
            const std::size_t colon = local.rfind(':');
            if (state != "0A" || colon == std::string::npos || uid < 0)
                continue;
            if (std::strtol(local.c_str() + colon + 1, nullptr, 16) == port)
                owners.push_back(static_cast<unsigned>(uid));
        }
    }
    return owners;
}

// What one GET of the target on address:port came to: each step within 2 s,
// the answer within about 4 s and 64 KB, else it is cut.
struct Reply {
    int status = 0; // 0: no HTTP answer
    std::string body;
};

inline Reply get(const std::string& address, int port, const std::string& target) {
    Reply reply;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return reply;
    const int s = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{2, 0};
    const bool connected = s >= 0 &&
                           setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0 &&
                           setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0 &&
                           connect(s, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    std::string answer;
    if (connected) {
        const bool ipv6 = address.find(':') != std::string::npos;
        const std::string request = "GET " + target +
                                    " HTTP/1.1\r\nHost: " + (ipv6 ? "[" + address + "]" : address) +
                                    ":" + std::to_string(port) + "\r\nConnection: close\r\n\r\n";
        if (send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            // A listener that trickles its answer is cut off too.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
            char buffer[4096];
            for (ssize_t n; answer.size() < 65536 && std::chrono::steady_clock::now() < deadline &&
                            (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (s >= 0)
        close(s);
    const std::size_t body = answer.find("\r\n\r\n");
    if (answer.starts_with("HTTP/1.1 ") && answer.size() >= 12 && body != std::string::npos) {
        reply.status = std::atoi(answer.substr(9, 3).c_str());
        reply.body = answer.substr(body + 4);
    }
    return reply;
}

// Who holds a TCP port on loopback, as this user can tell.
enum class Holder {
    Nothing,    // nothing listens, or this user's listener does not answer (yet)
    OwnService, // this user's catalogue: it answered a fresh challenge
    Other,      // another user listens on the port, or the listener failed the challenge
};

// The keyed hash (HMAC-SHA256) of the message under the key, as lowercase hex.
using KeyedHash = std::string (*)(const std::string& key, const std::string& message);

// Finds who holds the port, challenging the listener at address (a loopback
// address) with a fresh nonce under the secret. Blocks for up to a few
// seconds: the catalogue calls it in its own process, the program on a worker.
inline Holder findHolder(const std::string& address, int port, const std::string& secret,
                         KeyedHash keyedHash) {
    const std::vector<unsigned> owners = listenerOwners(port);
    if (owners.empty())
        return Holder::Nothing;
    if (std::any_of(owners.begin(), owners.end(), [](unsigned uid) { return uid != getuid(); }))
        return Holder::Other;
    const std::string nonce = randomHex(kNonceBytes);
    if (secret.empty() || nonce.empty())
        return Holder::Other; // nothing could be proved
    const Reply reply = get(address, port, identityTarget(nonce));
    if (reply.status == 0) // a service that has bound its port but does not serve yet
        return Holder::Nothing;
    return reply.status == 200 && reply.body == keyedHash(secret, challenge(port, nonce)) + "\n"
               ? Holder::OwnService
               : Holder::Other;
}

} // namespace identity_challenge
