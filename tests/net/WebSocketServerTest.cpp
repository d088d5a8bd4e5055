// The WebSocket client against a real server (Qt WebSockets) on loopback.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <memory>
#include <vector>

#include "QtLoop.h"
#include "net/QtTcpClient.h"
#include "net/TwebSocketClint.h"

using net::TwebSocketClint;
using net::TwsClientCont;
using tavrina_test::runUntil;

namespace {

// An echo server; it may cut its messages into small frames.
class EchoServer {
public:
    explicit EchoServer(quint64 frameBytes = 0) : server("test", QWebSocketServer::NonSecureMode) {
        tavrina_test::qtApp();
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QWebSocketServer::newConnection, [this, frameBytes] {
            QWebSocket* s = server.nextPendingConnection();
            if (frameBytes) s->setOutgoingFrameSize(frameBytes);
            peer = s;
            path = s->requestUrl().path();
            QObject::connect(s, &QWebSocket::textMessageReceived,
                             [s](const QString& m) { s->sendTextMessage(m); });
            QObject::connect(s, &QWebSocket::binaryMessageReceived,
                             [s](const QByteArray& m) { s->sendBinaryMessage(m); });
            QObject::connect(s, &QWebSocket::pong,
                             [this](quint64, const QByteArray& p) { pongs.push_back(p); });
        });
    }
    QWebSocketServer server;
    QWebSocket* peer = nullptr;
    QString path;
    std::vector<QByteArray> pongs;
};

class Client {
public:
    explicit Client(const EchoServer& echo)
        : ws([] { return std::make_unique<net::QtTcpClient>(); }, util::systemClock()) {
        ws.OnOpen = [this] { opened = true; };
        ws.OnClose = [this] { closed = true; };
        ws.OnMessage = [this](const std::string& payload, uint8_t opcode) {
            messages.emplace_back(opcode, payload);
        };
        ws.Open("127.0.0.1", echo.server.serverPort(), "/qorl/zdwebsocket/13912345678_1205");
    }
    bool until(const std::function<bool()>& done, int ms = 5000) {
        return runUntil(done, ms, [this] { ws.Poll(); });
    }
    TwebSocketClint ws;
    bool opened = false, closed = false;
    std::vector<std::pair<uint8_t, std::string>> messages;
};

} // namespace

TEST(WebSocketServer, EchoesMessagesOfEverySize) {
    EchoServer echo;
    Client c(echo);
    ASSERT_TRUE(c.until([&] { return c.opened; }));
    EXPECT_EQ(echo.path, "/qorl/zdwebsocket/13912345678_1205");
    const size_t sizes[] = {0, 125, 126, 65535, 65536, 70000, 16u << 20};
    for (size_t size : sizes) {
        for (uint8_t opcode : {TwsClientCont::kText, TwsClientCont::kBinary}) {
            std::string payload(size, '\0');
            for (size_t i = 0; i < size; ++i)
                payload[i] = static_cast<char>(opcode == TwsClientCont::kText ? 'a' + i % 26 : i);
            c.messages.clear();
            ASSERT_TRUE(c.ws.engine().SendMessage(payload, opcode));
            ASSERT_TRUE(c.until([&] { return !c.messages.empty(); }, 20000))
                << size << " bytes, opcode " << int(opcode);
            EXPECT_EQ(c.messages[0].first, opcode);
            EXPECT_TRUE(c.messages[0].second == payload) << size << " bytes";
        }
    }
}

TEST(WebSocketServer, SmallServerFramesPingsAndClose) {
    EchoServer echo(1000);
    Client c(echo);
    ASSERT_TRUE(c.until([&] { return c.opened && echo.peer != nullptr; }));
    const std::string text(70000, 'f');
    ASSERT_TRUE(c.ws.engine().SendMessage(text, TwsClientCont::kText));
    ASSERT_TRUE(c.until([&] { return !c.messages.empty(); }));
    EXPECT_EQ(c.messages[0].second, text); // one message from 70 frames

    echo.peer->ping("hello");
    ASSERT_TRUE(c.until([&] { return !echo.pongs.empty(); }));
    EXPECT_EQ(echo.pongs[0], "hello");

    echo.peer->close();
    EXPECT_TRUE(c.until([&] { return c.closed; }));
    EXPECT_EQ(c.ws.wsState(), TwsClientCont::kClosed);
}

// A TCP relay between the client and a server: records what the client sends and can slip
// bytes of its own to the client (frames no WebSocket server would send).
class Relay {
public:
    explicit Relay(uint16_t serverPort) {
        listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&listener, &QTcpServer::newConnection, [this, serverPort] {
            client = listener.nextPendingConnection();
            server = new QTcpSocket(client);
            QObject::connect(client, &QTcpSocket::readyRead, [this] {
                const QByteArray bytes = client->readAll();
                fromClient += bytes;
                server->write(bytes);
            });
            QObject::connect(server, &QTcpSocket::readyRead,
                             [this] { client->write(server->readAll()); });
            QObject::connect(client, &QTcpSocket::disconnected, [this] {
                server->disconnectFromHost();
                clientGone = true;
            });
            QObject::connect(server, &QTcpSocket::disconnected,
                             [this] { client->disconnectFromHost(); });
            server->connectToHost(QHostAddress::LocalHost, serverPort);
            server->waitForConnected(2000);
        });
    }
    void toClient(const QByteArray& bytes) { client->write(bytes); }
    uint16_t port() const { return listener.serverPort(); }

    // The close frames among the client's frames after the handshake, unmasked.
    std::vector<std::string> closeFrames() const {
        std::vector<std::string> out;
        const std::string all = fromClient.toStdString();
        size_t at = all.find("\r\n\r\n");
        if (at == std::string::npos) return out;
        at += 4;
        while (at + 6 <= all.size()) {
            const uint8_t b0 = static_cast<uint8_t>(all[at]);
            const size_t length = static_cast<uint8_t>(all[at + 1]) & 0x7F;
            if (length > 125 || at + 6 + length > all.size()) break; // not needed here
            std::string payload = all.substr(at + 6, length);
            for (size_t i = 0; i < length; ++i)
                payload[i] ^= all[at + 2 + i % 4];
            if ((b0 & 0x0F) == TwsClientCont::kClose) out.push_back(payload);
            at += 6 + length;
        }
        return out;
    }

    QTcpServer listener;
    QTcpSocket* client = nullptr;
    QTcpSocket* server = nullptr;
    QByteArray fromClient;
    bool clientGone = false;
};

// The close frame the client sends after a protocol error (empty payload) must reach the
// server before the connection ends.
TEST(WebSocketServer, ServerReceivesTheClientsCloseFrames) {
    EchoServer echo;
    struct Case {
        const char* name;
        std::function<void(Relay&)> act;
        std::string closePayload;
    };
    // Only the protocol error: the Qt server ends the connection as soon as it has sent its
    // own close frame, so no echo could reach it (the other implementation shows the echo).
    const Case cases[] = {
        {"protocol error", [](Relay& r) { r.toClient(QByteArray("\xC1\x00", 2)); }, ""},
    };
    for (const Case& c : cases) {
        Relay relay(echo.server.serverPort());
        echo.peer = nullptr;
        TwebSocketClint ws([] { return std::make_unique<net::QtTcpClient>(); },
                           util::systemClock());
        bool opened = false, closed = false;
        ws.OnOpen = [&] { opened = true; };
        ws.OnClose = [&] { closed = true; };
        ws.Open("127.0.0.1", relay.port(), "/qorl/zdwebsocket/1_1205");
        const auto until = [&](const std::function<bool()>& done) {
            return runUntil(done, 10000, [&] { ws.Poll(); });
        };
        ASSERT_TRUE(until([&] { return opened && echo.peer != nullptr; })) << c.name;
        c.act(relay);
        ASSERT_TRUE(until([&] { return closed && relay.clientGone; })) << c.name;
        EXPECT_EQ(relay.closeFrames(), std::vector<std::string>{c.closePayload}) << c.name;
    }
}

// The same client against a server of another implementation (Python's websockets).
TEST(WebSocketServer, AnotherImplementation) {
    tavrina_test::qtApp();
    QProcess server;
    server.start("/usr/bin/python3", {TAVRINA_WS_ECHO_SCRIPT});
    if (!server.waitForReadyRead(10000)) GTEST_SKIP() << "python3-websockets is not installed";
    // The server's lines may arrive in pieces.
    const auto serverLine = [&] {
        runUntil([&] { return server.canReadLine() || (server.waitForReadyRead(10), false); },
                 10000);
        return server.readLine().trimmed().toStdString();
    };
    const uint16_t port = static_cast<uint16_t>(std::stoul("0" + serverLine()));
    ASSERT_NE(port, 0);

    TwebSocketClint ws([] { return std::make_unique<net::QtTcpClient>(); }, util::systemClock());
    bool opened = false, closed = false;
    std::vector<std::string> messages;
    ws.OnOpen = [&] { opened = true; };
    ws.OnClose = [&] { closed = true; };
    ws.OnMessage = [&](const std::string& payload, uint8_t) { messages.push_back(payload); };
    const auto until = [&](const std::function<bool()>& done) {
        return runUntil(done, 20000, [&] { ws.Poll(); });
    };
    ws.Open("127.0.0.1", port, "/qorl/zdwebsocket/1_1205");
    ASSERT_TRUE(until([&] { return opened; }));

    for (size_t size : {size_t{0}, size_t{125}, size_t{126}, size_t{65535}, size_t{65536},
                        size_t{70000}, size_t{16} << 20}) {
        messages.clear();
        const std::string payload(size, 'p');
        ASSERT_TRUE(ws.engine().SendMessage(payload, TwsClientCont::kText));
        ASSERT_TRUE(until([&] { return !messages.empty(); })) << size;
        EXPECT_TRUE(messages[0] == payload) << size;
    }
    messages.clear();
    ws.engine().SendMessage("fragment-me", TwsClientCont::kText);
    ASSERT_TRUE(until([&] { return !messages.empty(); }));
    EXPECT_EQ(messages[0], std::string(70000, 'f'));

    messages.clear();
    ws.engine().SendMessage("ping-me", TwsClientCont::kText);
    ASSERT_TRUE(until([&] { return !messages.empty(); }));
    EXPECT_EQ(messages[0], "pong-received");

    // The server's close is echoed with its code and reason, and reaches it.
    ws.engine().SendMessage("close-me", TwsClientCont::kText);
    EXPECT_TRUE(until([&] { return closed || ws.wsState() == TwsClientCont::kClosed; }));
    EXPECT_EQ(serverLine(), "close-received 1000 bye");

    // After a frame with a reserved bit the client's close frame, with no payload (1005 reads
    // "no code"), reaches the server too.
    closed = opened = false;
    ws.Open("127.0.0.1", port, "/qorl/zdwebsocket/1_1205");
    ASSERT_TRUE(until([&] { return opened; }));
    ws.engine().SendMessage("bad-frame-me", TwsClientCont::kText);
    EXPECT_TRUE(until([&] { return closed; }));
    EXPECT_EQ(serverLine(), "close-received 1005");
    server.kill();
    server.waitForFinished();
}
