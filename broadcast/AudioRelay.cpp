#include "broadcast/AudioRelay.h"

#include "broadcast/BroadcastLog.h"
#include "platform/Guarded.h"

TAudioRelay::TAudioRelay() {
    audiotcpserver.Bindings.IP = kIP;
    audiotcpserver.Bindings.Port = kPort;
    audiotcpserver.DefaultPort = kPort;
    audiotcpserver.MaxConnections = kMaxClients;
    audiotcpserver.SendQueueBlocks = kSlackBlocks;
    audiotcpserver.OnConnect = [this](net::TIdPeerThread& t) { audiotcpserverConnect(t); };
    audiotcpserver.OnExecute = [this](net::TIdPeerThread& t) { audiotcpserverExecute(t); };
    audiotcpserver.OnDisconnect = [this](net::TIdPeerThread& t) { audiotcpserverDisconnect(t); };
    audiotcpserver.OnException = [](const char* handler, const std::string& what) {
        qCWarning(lcBroadcast, "relay client %s failed: %s", handler, what.c_str());
    };
}

void TAudioRelay::audiotcpserverConnect(net::TIdPeerThread& AThread) {
    try {
        auto* entry = new ClientEntry{&AThread};
        AThread.Data = entry;
        ThreadListLock lock(*ClientList);
        lock.Items().push_back(entry);
    } catch (...) {
        // The connection stays open and receives nothing.
        LogCaughtException(lcBroadcast, "listing a relay client");
    }
}

void TAudioRelay::audiotcpserverDisconnect(net::TIdPeerThread& AThread) {
    try {
        auto* entry = static_cast<ClientEntry*>(AThread.Data);
        if (entry && ClientList) {
            ThreadListLock lock(*ClientList);
            std::erase(lock.Items(), entry);
        }
        delete entry;
        AThread.Data = nullptr;
    } catch (...) {
        LogCaughtException(lcBroadcast, "unlisting a relay client");
    }
}

void TAudioRelay::audiotcpserverExecute(net::TIdPeerThread&) {
    // Nothing to do: the connection's thread only keeps the connection.
}

void TAudioRelay::Audio1Record(TRecorder&, char* LP, char*, std::uint16_t BufferSize) {
    if (!Broadcasting || !ClientList)
        return;
    // Queued for every client at once; the server's listener thread sends it.
    audiotcpserver.SendToAll(LP, BufferSize);
}

int TAudioRelay::ClientCount() {
    if (!ClientList)
        return 0;
    ThreadListLock lock(*ClientList);
    return int(lock.Items().size());
}
