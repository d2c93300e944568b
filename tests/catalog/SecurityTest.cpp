// The real kolvadeck-catalog under attack from the same machine: slow and
// oversized requests, a second instance, impostors on its port, a foreign
// Host, links and FIFOs in the video folder, hostile byte ranges, and the
// modes of its files.
#include "CatalogProcess.h"
#include "Collection.h"
#include "Impostor.h"
#include "RawHttp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int connect(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

long residentKb(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return -1;
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class Security : public ::testing::Test {
protected:
    void SetUp() override {
        collection_ =
            copyOf(sharedCollection(),
                   fs::path(testing::TempDir()) / ("catalog_security_" + std::to_string(getpid())));
        // A private file of the user's beside the folders, and a link to it
        // put in the video folder.
        secret_ = collection_.root / "private.mp4";
        std::ofstream(secret_) << "private-bytes-of-the-user";
        fs::permissions(secret_, fs::perms::owner_read | fs::perms::owner_write);
        fs::create_symlink(secret_, collection_.videos / "escape link.mp4");
        data_ = collection_.root / "data";
        database_ = data_ / "catalog.sqlite";
        ASSERT_TRUE(service_.start(database_.string(), collection_.music.string(),
                                   collection_.videos.string()))
            << service_.errorOutput();
    }
    void TearDown() override {
        service_.stop();
        fs::remove_all(collection_.root);
    }

    RawAnswer get(const std::string& target, const std::string& headers = {}) {
        return rawGet(service_.port(), target, headers);
    }
    RawAnswer search() {
        return get("/api/music/?method=track.search&limit=100&track=kiss&page=1");
    }
    // The media addresses of the videos found for the words.
    std::vector<std::string> media(const std::string& words) {
        const std::string feed = get("/api/video/?vq=" + words + "&max-results=50").body;
        std::vector<std::string> found;
        const std::regex href(R"(href="http://127\.0\.0\.1:\d+(/media/[^"]+)\")");
        for (std::sregex_iterator it(feed.begin(), feed.end(), href), end; it != end; ++it)
            found.push_back((*it)[1]);
        return found;
    }

    Collection collection_;
    fs::path secret_;
    fs::path data_;
    fs::path database_;
    CatalogProcess service_;
};

TEST_F(Security, SlowClientsDoNotHoldUpSearches) {
    // 300 connections (more than the service keeps) each send one header line
    // every 3 s and reconnect when dropped, for 30 s.
    std::atomic<bool> done{false};
    std::thread slow([&] {
        std::vector<int> sockets(300, -1);
        while (!done) {
            for (int& s : sockets) {
                if (s < 0)
                    s = connect(service_.port());
                const std::string line = s >= 0 && (&s - sockets.data()) % 2
                                             ? "X-Slow: 1\r\n"
                                             : "GET /api/music/?method=track.search HTTP/1.1\r\n";
                if (s >= 0 && send(s, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                    close(s);
                    s = -1;
                }
            }
            for (int i = 0; i < 30 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (const int s : sockets)
            if (s >= 0)
                close(s);
    });
    double slowest = 0;
    int answered = 0;
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1400));
        const auto asked = Clock::now();
        const RawAnswer answer = search();
        slowest = std::max(slowest, seconds(asked));
        answered += answer.status == 200 && answer.body.find("Kiss") != std::string::npos;
    }
    EXPECT_GE(seconds(start), 28.0);
    done = true;
    slow.join();
    EXPECT_EQ(answered, 20);
    EXPECT_LT(slowest, 1.0);
}

TEST_F(Security, OversizedHeadersAreRefusedWithoutKeepingMemory) {
    const long before = residentKb(service_.pid());
    ASSERT_GT(before, 0);
    // 10 MB of header lines, sent while the answer is read.
    const int s = connect(service_.port());
    ASSERT_GE(s, 0);
    std::string request = "GET /api/music/?method=track.search HTTP/1.1\r\nHost: 127.0.0.1:" +
                          std::to_string(service_.port()) + "\r\n";
    const std::string line = "X-Fill: " + std::string(1000, 'a') + "\r\n";
    while (request.size() < 10 * 1024 * 1024)
        request += line;
    auto sender = std::async(std::launch::async, [&] {
        size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
    });
    std::string answer;
    char buffer[4096];
    timeval timeout{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    shutdown(s, SHUT_RDWR);
    sender.get();
    close(s);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 431")) << answer.substr(0, 100);
    // Too many lines, however short, are refused too.
    std::string lines;
    for (int i = 0; i < 150; ++i)
        lines += "X-Line-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(get("/api/music/?method=track.search&track=kiss", lines).status, 431);
    EXPECT_LT(residentKb(service_.pid()) - before, 10 * 1024);
    EXPECT_EQ(search().status, 200);
}

TEST_F(Security, ASecondInstanceIsRefusedAndTellsWhoHoldsThePort) {
    const std::vector<std::string> common{"--no-default-folders", "--no-scan", "--port",
                                          std::to_string(service_.port()), "--database"};
    // Same user, same secret (another data folder too): its own catalogue already serves.
    std::vector<std::string> same = common;
    same.push_back((collection_.root / "other" / "catalog.sqlite").string());
    int code = -1;
    std::string message = CatalogProcess::run(same, &code);
    EXPECT_EQ(code, 3) << message;
    EXPECT_NE(message.find("already serves"), std::string::npos) << message;
    // Another runtime folder (another secret): whatever holds the port is not its own.
    message = CatalogProcess::run(same, &code, collection_.root / "other-runtime");
    EXPECT_EQ(code, 4) << message;
    EXPECT_NE(message.find("held by another"), std::string::npos) << message;
    // The port was never shared: every search reaches the one catalogue.
    for (int i = 0; i < 20; ++i)
        EXPECT_NE(search().body.find("Kiss"), std::string::npos);
}

// Another user (when the tests run as root) listening on the wildcard address
// of IPv4 or IPv6, whose listener takes the connections to 127.0.0.1, replays
// what the catalogue's identity path told it: a new catalogue on that port
// knows the port is not its own and exits 4; nothing it sent is a search or
// holds the secret.
TEST_F(Security, AnImpostorOnAWildcardAddressIsNotTakenForTheCatalogue) {
    const std::string secret = CatalogProcess::secret();
    EXPECT_FALSE(secret.empty());
    const std::string told = get("/api/identity?nonce=" + std::string(64, '7')).body;
    EXPECT_EQ(told.find(secret), std::string::npos) << "the identity path tells the secret";
    for (const std::string address : {"0.0.0.0", "::"}) {
        Impostor impostor;
        ASSERT_TRUE(impostor.replaying(address, told)) << address;
        int code = -1;
        const std::string message =
            CatalogProcess::run({"--no-default-folders", "--no-scan", "--port",
                                 std::to_string(impostor.port()), "--database", database_.string()},
                                &code);
        EXPECT_EQ(code, 4) << address << ": " << message;
        for (const std::string& request : impostor.requests()) {
            EXPECT_TRUE(request.starts_with("GET /api/identity?nonce=")) << request;
            EXPECT_EQ(request.find(secret), std::string::npos) << request;
        }
    }
}

// A challenge relayed to the real catalogue on another port comes back with
// the proof for that port, which proves nothing on this one.
TEST_F(Security, AChallengeRelayedToTheCatalogueOnAnotherPortProvesNothing) {
    Impostor relay;
    ASSERT_TRUE(relay.relaying("0.0.0.0", service_.port()));
    int code = -1;
    const std::string message =
        CatalogProcess::run({"--no-default-folders", "--no-scan", "--port",
                             std::to_string(relay.port()), "--database", database_.string()},
                            &code);
    EXPECT_EQ(code, 4) << message;
    EXPECT_EQ(relay.requests().size(), 1u); // the challenge did reach the catalogue
}

TEST_F(Security, OnlyLoopbackHostsAreServed) {
    const std::string port = std::to_string(service_.port());
    const std::string target = "/api/video/?vq=kiss&max-results=50";
    for (const std::string& host :
         {"attacker.example:" + port, "127.0.0.1:1" + port, std::string("127.0.0.1"),
          "127.0.0.2:" + port, "localhost.attacker.example:" + port}) {
        const RawAnswer answer = get(target, "Host: " + host + "\r\n");
        EXPECT_EQ(answer.status, 421) << host;
        EXPECT_EQ(answer.body.find("/media/"), std::string::npos) << host;
    }
    EXPECT_EQ(get(target, "Host: 127.0.0.1:" + port + "\r\nHost: attacker.example\r\n").status,
              421);
    for (const std::string& host : {"localhost:" + port, "[::1]:" + port}) {
        const RawAnswer answer = get(target, "Host: " + host + "\r\n");
        EXPECT_EQ(answer.status, 200) << host;
        EXPECT_NE(answer.body.find("href=\"http://127.0.0.1:" + port + "/media/"),
                  std::string::npos);
    }
}

TEST_F(Security, LinksOutOfTheFoldersAndFifosAreRefusedWithoutBlocking) {
    const std::string secret = slurp(secret_);
    for (int id = 1; id <= 20; ++id)
        for (const char* extension : {"mp4", "flv"})
            EXPECT_EQ(get("/media/" + std::to_string(id) + "." + extension).body.find(secret),
                      std::string::npos);
    EXPECT_TRUE(media("escape").empty());

    // Catalogued videos replaced after the scan: one by a FIFO, one by a link
    // out of the folder.
    const std::vector<std::string> teen = media("Teen");
    const std::vector<std::string> live = media("live");
    ASSERT_EQ(teen.size(), 1u);
    ASSERT_EQ(live.size(), 1u);
    fs::remove(collection_.videos / "Nirvana - Teen Spirit.mp4");
    ASSERT_EQ(mkfifo((collection_.videos / "Nirvana - Teen Spirit.mp4").c_str(), 0644), 0);
    fs::remove(collection_.videos / "Prince - Kiss (live).mp4");
    fs::create_symlink(secret_, collection_.videos / "Prince - Kiss (live).mp4");

    const auto start = Clock::now();
    std::vector<std::future<RawAnswer>> fifo;
    for (int i = 0; i < 8; ++i)
        fifo.push_back(std::async(std::launch::async, [&] { return get(teen.front()); }));
    for (auto& answer : fifo)
        EXPECT_EQ(answer.get().status, 404);
    const RawAnswer link = get(live.front());
    EXPECT_EQ(link.status, 404);
    EXPECT_EQ(link.body.find(secret), std::string::npos);
    EXPECT_LT(seconds(start), 5.0);
    EXPECT_EQ(search().status, 200);
    EXPECT_TRUE(service_.terminatedWithin(5000)) << "TERM did not end the service";
}

TEST_F(Security, RangesNeverSendMoreThanTheFile) {
    const std::vector<std::string> media = this->media("Teen");
    ASSERT_EQ(media.size(), 1u);
    const std::string file = slurp(collection_.videos / "Nirvana - Teen Spirit.mp4");
    const std::string size = std::to_string(file.size());

    std::string many = "Range: bytes=0-";
    for (int i = 0; i < 1500; ++i)
        many += ",0-";
    RawAnswer answer = get(media.front(), many + "\r\n");
    EXPECT_LE(answer.body.size(), file.size());

    // Overlapping and touching ranges are merged into one part.
    answer = get(media.front(), "Range: bytes=0-10,5-20,21-29\r\n");
    EXPECT_EQ(answer.status, 206);
    EXPECT_EQ(answer.body, file.substr(0, 30));
    // Two apart: two parts of one multipart answer.
    answer = get(media.front(), "Range: bytes=0-9,100-109\r\n");
    EXPECT_EQ(answer.status, 206);
    EXPECT_NE(answer.headers.find("multipart/byteranges"), std::string::npos);
    EXPECT_NE(answer.body.find(file.substr(100, 10)), std::string::npos);
    EXPECT_LT(answer.body.size(), 400u);

    // More than 8 parts, or a header that cannot be read: the whole file.
    std::string nine = "Range: bytes=0-0";
    for (int i = 1; i < 9; ++i)
        nine += "," + std::to_string(i * 10) + "-" + std::to_string(i * 10);
    for (const std::string& header :
         {nine, std::string("Range: bytes=abc"), std::string("Range: bytes=10-5"),
          std::string("Range: lines=1-2"), std::string("Range: bytes=1-2-3")}) {
        answer = get(media.front(), header + "\r\n");
        EXPECT_EQ(answer.status, 200) << header;
        EXPECT_EQ(answer.body, file) << header;
    }
    answer = get(media.front(), "Range: bytes=" + size + "-\r\n");
    EXPECT_EQ(answer.status, 416);
    EXPECT_NE(answer.headers.find("Content-Range: bytes */" + size), std::string::npos);
}

TEST_F(Security, ABurstOfConnectionsIsAnsweredWithoutRetries) {
    // Each connection is made at once and answered well within TCP's first
    // retry (1 s), which a short listen queue would force.
    std::vector<std::future<double>> burst;
    for (int i = 0; i < 150; ++i)
        burst.push_back(std::async(std::launch::async, [&] {
            const auto start = Clock::now();
            return search().status == 200 ? seconds(start) : 99.0;
        }));
    double slowest = 0;
    for (auto& one : burst)
        slowest = std::max(slowest, one.get());
    EXPECT_LT(slowest, 0.9);
}

TEST_F(Security, ItsFilesAreTheUsersAlone) {
    const auto mode = [](const fs::path& path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mode & 0777;
    };
    EXPECT_EQ(mode(data_), 0700u);
    EXPECT_EQ(mode(database_), 0600u);
    EXPECT_EQ(mode(CatalogProcess::runtimeFolder() / "kolvadeck-catalog.secret"), 0600u);
    EXPECT_EQ(mode(database_.string() + "-wal") & 077, 0u);
}

} // namespace
