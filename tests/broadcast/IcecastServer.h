#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

// A real icecast2 on loopback for the tests, with a configuration written
// into a folder of its own. As root, Icecast refuses to run unless it
// changes to another user: it then runs as nobody, whose log folder it gets.
class IcecastServer {
public:
    static constexpr const char* kSourcePassword = "source-secret";

    explicit IcecastServer(const QString& name);
    ~IcecastServer();

    // A relay of the master's mount, under the same name (before Start).
    void relayFrom(int masterPort, const QString& mount);
    // Starts the server and waits until it answers; false if it does not
    // within 15 s (its error log is printed).
    bool start();
    // SIGKILL, and reaped.
    void kill();

    int port() const { return port_; }
    // The source on `mount` in /status-json.xsl, if the server lists one.
    std::optional<QJsonObject> source(const QString& mount) const;
    // Its title as listeners see it: "artist - title" where the stream
    // names both (Ogg comments), else the title (MP3's ICY "song").
    static QString titleOf(const QJsonObject& source);

private:
    QString name_;
    QTemporaryDir folder_;
    int port_;
    std::vector<std::pair<int, QString>> relays_;
    std::unique_ptr<QProcess> process_;
};

// A TCP port nobody listens on now.
int freePort();
// The first `bytes` bytes of a stream a new listener of the mount receives
// (fewer when it does not send them within 3 s).
QByteArray streamHead(int port, const QString& mount, int bytes);
// The body of GET http://127.0.0.1:port/path, or nothing.
std::optional<QByteArray> httpGet(int port, const QString& path);
