#include "broadcast/AudioRelay.h"

#include "broadcast/BroadcastLog.h"
#include "platform/Guarded.h"

AudioRelay::AudioRelay() {
    tcpServer.Bindings.IP = kIP;
    tcpServer.Bindings.Port = kPort;
    tcpServer.DefaultPort = kPort;
    tcpServer.MaxConnections = kMaxClients;
    tcpServer.MakeRoomWhenFull = true;
    tcpServer.IdleLimitMs = kIdleLimitMs;
    tcpServer.SendQueueBlocks = kSlackBlocks;
    tcpServer.OnConnect = [this](net::Connection& t) { onClientConnected(t); };
    tcpServer.OnExecute = [this](net::Connection& t) { serveClient(t); };
    tcpServer.OnDisconnect = [this](net::Connection& t) { onClientGone(t); };
    tcpServer.OnException = [](const char* handler, const std::string& what) {
        qCWarning(lcBroadcast, "relay client %s failed: %s", handler, what.c_str());
    };
}

void AudioRelay::onClientConnected(net::Connection& AThread) {
    try {
        auto* entry = new ClientEntry{&AThread};
        AThread.Data = entry;
        ThreadListLock lock(*ClientList);
        lock.items().push_back(entry);
    } catch (...) {
        // The connection stays open and receives nothing.
        logCaughtException(lcBroadcast, "listing a relay client");
    }
}

void AudioRelay::onClientGone(net::Connection& AThread) {
    try {
        auto* entry = static_cast<ClientEntry*>(AThread.Data);
        if (entry && ClientList) {
            ThreadListLock lock(*ClientList);
            std::erase(lock.items(), entry);
        }
        delete entry;
        AThread.Data = nullptr;
    } catch (...) {
        logCaughtException(lcBroadcast, "unlisting a relay client");
    }
}

void AudioRelay::serveClient(net::Connection&) {
    // Nothing to do: the connection's thread only keeps the connection.
}

void AudioRelay::relayBlock(CaptureRecorder&, char* LP, char*, std::uint16_t BufferSize) {
    relayMix(LP, BufferSize);
}

void AudioRelay::relayMix(const char* bytes, std::size_t size) {
    if (!broadcasting || !ClientList)
        return;
    // Queued for every client at once; the server's listener thread sends it.
    tcpServer.sendToAll(bytes, size);
}

int AudioRelay::clientCount() {
    if (!ClientList)
        return 0;
    ThreadListLock lock(*ClientList);
    return int(lock.items().size());
}
