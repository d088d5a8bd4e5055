#include "net/TwebSocketClint.h"

namespace net {

TwebSocketClint::TwebSocketClint(SocketFactory make, const util::Clock& c)
    : makeSocket(std::move(make)), clock(c) {}

TwebSocketClint::~TwebSocketClint() {
    // The socket goes without a word: the owner is being destroyed too.
    ws.OnSocketClosed = nullptr;
    if (socket) socket->close();
}

bool TwebSocketClint::Open(const std::string& hostName, uint16_t serverPort,
                           const std::string& requestPath) {
    Close();
    if (!socket) {
        socket = makeSocket();
        TcpClient::Events e;
        // The Host field names the server as it was asked for.
        e.connected = [this] { ws.SendHandshake(path, host, port); };
        e.disconnected = [this] {
            ws.wsState = TwsClientCont::kClosed;
            if (OnClose) OnClose();
        };
        e.error = [this] {
            socket->close();
            ws.wsState = TwsClientCont::kClosed;
            if (OnClose) OnClose();
        };
        e.readable = [this] { ws.Service(clock.now()); };
        e.writable = [this] { ws.Service(clock.now()); };
        socket->setEvents(std::move(e));
    }
    host = hostName;
    port = serverPort;
    path = requestPath;
    ws.Reset(socket.get(), true, clock.now());
    ws.OnOpen = [this] {
        if (OnOpen) OnOpen();
    };
    ws.OnRaw = [this](std::string_view bytes) {
        if (OnRaw) OnRaw(bytes);
    };
    ws.OnSent = [this](size_t n) {
        if (OnSent) OnSent(n);
    };
    ws.OnMessage = [this](const std::string& payload, uint8_t opcode) {
        if (OnMessage) OnMessage(payload, opcode);
    };
    ws.OnSocketClosed = [this] {
        if (OnClose) OnClose();
    };
    socket->open(host, port);
    return true;
}

void TwebSocketClint::Close() {
    if (socket && ws.wsState != TwsClientCont::kClosed) ws.Fail();
}

void TwebSocketClint::Poll() {
    if (socket && socket->isConnected()) ws.Service(clock.now());
}

} // namespace net
