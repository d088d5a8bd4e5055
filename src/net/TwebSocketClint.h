#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/TcpClient.h"
#include "net/TwsClientCont.h"
#include "util/Clock.h"

namespace net {

// A WebSocket client connection: the protocol engine on a socket of its own, opened to a host,
// port and path, handing every received message to its owner.
class TwebSocketClint {
public:
    using SocketFactory = std::function<std::unique_ptr<TcpClient>()>;

    TwebSocketClint(SocketFactory makeSocket, const util::Clock& clock);
    ~TwebSocketClint();
    TwebSocketClint(const TwebSocketClint&) = delete;
    TwebSocketClint& operator=(const TwebSocketClint&) = delete;

    bool Open(const std::string& host, uint16_t port, const std::string& path);
    void Close();
    void Poll();

    TwsClientCont& engine() { return ws; }
    int wsState() const { return ws.wsState; }
    void setKeepAlive() { ws.wsState = TwsClientCont::kKeepAlive; }

    std::function<void()> OnOpen;
    std::function<void()> OnClose;
    TwsClientCont::BytesConsumer OnRaw;
    std::function<void(size_t)> OnSent;
    TwsClientCont::MessageConsumer OnMessage;

private:
    SocketFactory makeSocket;
    const util::Clock& clock;
    std::unique_ptr<TcpClient> socket;
    TwsClientCont ws;
    std::string host, path;
    uint16_t port = 0;
};

} // namespace net
