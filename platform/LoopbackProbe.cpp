#include "platform/LoopbackProbe.h"

#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

void LoopbackProbe::Start(quint16 port, QObject* parent, std::function<void(bool)> done) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    auto* probe = new LoopbackProbe(fd, parent, std::move(done));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int rc =
        fd < 0 ? -1 : ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc == 0 || fd < 0 || errno != EINPROGRESS) {
        const bool listening = rc == 0;
        QTimer::singleShot(0, probe, [probe, listening] { probe->Finish(listening); });
        return;
    }
    // The connection is under way: the socket turns writable when it is
    // made or refused, and SO_ERROR tells which.
    auto* writable = new QSocketNotifier(fd, QSocketNotifier::Write, probe);
    QObject::connect(writable, &QSocketNotifier::activated, probe, [probe, writable, fd] {
        writable->setEnabled(false);
        int error = 0;
        socklen_t length = sizeof error;
        const bool made =
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        probe->Finish(made);
    });
}

LoopbackProbe::LoopbackProbe(int socket, QObject* parent, std::function<void(bool)> done)
    : QObject(parent)
    , socket_(socket)
    , done_(std::move(done)) {}

LoopbackProbe::~LoopbackProbe() {
    if (socket_ >= 0)
        ::close(socket_);
}

void LoopbackProbe::Finish(bool listening) {
    auto done = std::move(done_);
    deleteLater();
    if (done)
        done(listening);
}
