#pragma once

#include <QObject>
#include <QtGlobal>

#include <functional>

// Asks whether something listens on a TCP port of 127.0.0.1 without waiting
// on the caller's thread: the answer comes from the event loop, never from
// inside the call. A plain socket keeps Qt Network out of the program.
class LoopbackProbe : public QObject {
public:
    // Starts a probe owned by `parent`; `done` runs once, unless the parent
    // goes first.
    static void Start(quint16 port, QObject* parent, std::function<void(bool listening)> done);
    ~LoopbackProbe() override;

private:
    LoopbackProbe(int socket, QObject* parent, std::function<void(bool)> done);
    void Finish(bool listening);

    int socket_;
    std::function<void(bool)> done_;
};
