#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <string>
#include <unistd.h>
#include <vector>

// A stranger squatting a port: a small server on the wildcard address of
// IPv4 ("0.0.0.0") or IPv6 ("::", which takes IPv4 connections too) or any
// other address. It answers every request with a fixed text (a replay of what
// it heard the catalogue say) or relays it to a real service (its Host named
// as that service expects) and sends back its answer, and it keeps every
// request it received. A replaying impostor
// runs as the user nobody when the tests run as root, as another user of the
// machine would; a relaying one runs as this user (another program of the
// user's, or one that hides its owner). Header-only, for the catalogue's
// tests and the program's.
class Impostor {
public:
    ~Impostor() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // Listens on a free port of the address; false when it did not come up.
    bool replaying(const std::string& address, const std::string& answer) {
        return start(address, "replay", answer, geteuid() == 0);
    }
    bool relaying(const std::string& address, int servicePort) {
        return start(address, "relay", std::to_string(servicePort), false);
    }

    int port() const { return port_; }

    // The requests received so far, whole (each is printed before it is
    // answered, so a client that has its answer finds its request here).
    std::vector<std::string> requests() {
        while (process_.waitForReadyRead(100)) {
        }
        while (process_.canReadLine())
            requests_.push_back(QByteArray::fromHex(process_.readLine().trimmed()).toStdString());
        return requests_;
    }

private:
    bool start(const std::string& address, const char* mode, const std::string& argument,
               bool asNobody) {
        static const char* const kServer = R"(
import re, socket, sys
address, mode, argument = sys.argv[1:4]
family = socket.AF_INET6 if ':' in address else socket.AF_INET
s = socket.socket(family)
if family == socket.AF_INET6:
    s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
s.bind((address, 0))
s.listen(16)
print(s.getsockname()[1], flush=True)
def read_all(c, head_only):
    data = b''
    while not (head_only and b'\r\n\r\n' in data) and len(data) < 65536:
        piece = c.recv(65536)
        if not piece:
            break
        data += piece
    return data
while True:
    c, _ = s.accept()
    c.settimeout(5)
    try:
        request = read_all(c, True)
        print(request.hex(), flush=True)
        if mode == 'replay':
            body = argument.encode()
            c.sendall(b'HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n'
                      b'Connection: close\r\n\r\n' % len(body) + body)
        else:
            # Named as the service expects to be.
            request = re.sub(rb'(?im)^host:[^\r\n]*', b'Host: 127.0.0.1:' + argument.encode(),
                             request)
            service = socket.create_connection(('127.0.0.1', int(argument)), timeout=5)
            service.sendall(request)
            c.sendall(read_all(service, False))
            service.close()
    except OSError:
        pass
    c.close()
)";
        QStringList arguments{"-c", kServer, QString::fromStdString(address), mode,
                              QString::fromStdString(argument)};
        if (asNobody) {
            arguments.prepend("/usr/bin/python3");
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + arguments;
            process_.start("setpriv", arguments);
        } else {
            process_.start("/usr/bin/python3", arguments);
        }
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(10000))
                return false;
        port_ = process_.readLine().trimmed().toInt();
        return port_ > 0;
    }

    QProcess process_;
    int port_ = 0;
    std::vector<std::string> requests_;
};
