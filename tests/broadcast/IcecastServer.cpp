#include "tests/broadcast/IcecastServer.h"

#include "tests/decks/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

namespace {
// GET http://127.0.0.1:port/path, read until the server closes, `limit`
// bytes have come or it says nothing for 3 s.
QByteArray get(int port, const QString& path, qsizetype limit) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{3, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const QByteArray request =
            "GET " + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        ::send(s, request.data(), std::size_t(request.size()), MSG_NOSIGNAL);
        char buffer[8192];
        for (ssize_t n; answer.size() < limit && (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, n);
    }
    ::close(s);
    return answer;
}
} // namespace

std::optional<QByteArray> httpGet(int port, const QString& path) {
    const QByteArray answer = get(port, path, 1 << 24);
    const auto body = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.0 200") || body < 0)
        return std::nullopt;
    return answer.mid(body + 4);
}

QByteArray streamHead(int port, const QString& mount, int bytes) {
    return get(port, mount, bytes);
}

IcecastServer::IcecastServer(const QString& name)
    : name_(name)
    , port_(freePort()) {}

IcecastServer::~IcecastServer() {
    kill();
}

void IcecastServer::relayFrom(int masterPort, const QString& mount) {
    relays_.emplace_back(masterPort, mount);
}

bool IcecastServer::start() {
    const QString logs = folder_.filePath("log");
    QDir().mkpath(logs);
    QString security = "<chroot>0</chroot>";
    if (::geteuid() == 0) {
        // Icecast will not run as root: it runs as nobody, who must reach
        // its log folder.
        const passwd* nobody = ::getpwnam("nobody");
        ::chmod(folder_.path().toLocal8Bit(), 0755);
        if (nobody && ::chown(logs.toLocal8Bit(), nobody->pw_uid, nobody->pw_gid) != 0)
            std::perror("chown");
        security += "<changeowner><user>nobody</user><group>nogroup</group></changeowner>";
    }
    QString relays;
    for (const auto& [master, mount] : relays_)
        relays += QString("<relay><server>127.0.0.1</server><port>%1</port><mount>%2</mount>"
                          "<local-mount>%2</local-mount><on-demand>0</on-demand>"
                          "<relay-shoutcast-metadata>1</relay-shoutcast-metadata></relay>")
                      .arg(master)
                      .arg(mount);
    const QString config =
        QString("<icecast><hostname>127.0.0.1</hostname><location>loopback</location>"
                "<admin>test@localhost</admin>"
                "<limits><clients>500</clients><sources>10</sources>"
                "<source-timeout>10</source-timeout><burst-size>0</burst-size></limits>"
                "<authentication><source-password>%1</source-password>"
                "<relay-password>%1</relay-password><admin-user>admin</admin-user>"
                "<admin-password>%1</admin-password></authentication>"
                "<master-update-interval>1</master-update-interval>"
                "<listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address>"
                "</listen-socket>%3"
                "<paths><basedir>/usr/share/icecast2</basedir><logdir>%4</logdir>"
                "<webroot>/usr/share/icecast2/web</webroot>"
                "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
                "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                "<loglevel>3</loglevel></logging><security>%5</security></icecast>")
            .arg(kSourcePassword)
            .arg(port_)
            .arg(relays, logs, security);
    const QString file = folder_.filePath(name_ + ".xml");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(config.toUtf8()) < 0)
        return false;
    out.close();
    ::chmod(file.toLocal8Bit(), 0644);
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start("icecast2", {"-c", file});
    if (waitFor([&] { return httpGet(port_, "/status-json.xsl").has_value(); }, 15000))
        return true;
    QFile log(logs + "/error.log");
    if (log.open(QIODevice::ReadOnly))
        std::fprintf(stderr, "icecast %s did not answer:\n%s\n", qPrintable(name_),
                     log.readAll().right(2000).constData());
    return false;
}

void IcecastServer::kill() {
    if (!process_)
        return;
    process_->kill();
    process_->waitForFinished(5000);
    process_.reset();
}

std::optional<QJsonObject> IcecastServer::source(const QString& mount) const {
    const auto body = httpGet(port_, "/status-json.xsl");
    if (!body)
        return std::nullopt;
    const QJsonValue sources = QJsonDocument::fromJson(*body)["icestats"]["source"];
    const QJsonArray all = sources.isArray() ? sources.toArray() : QJsonArray{sources};
    for (const QJsonValue& s : all)
        if (s["listenurl"].toString().endsWith(mount))
            return s.toObject();
    return std::nullopt;
}

QString IcecastServer::titleOf(const QJsonObject& source) {
    const QString title = source["title"].toString();
    const QString artist = source["artist"].toString();
    return artist.isEmpty() ? title : artist + " - " + title;
}
