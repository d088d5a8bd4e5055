#include "net/TwebSocketClint.h"

#include <gtest/gtest.h>

#include <vector>

#include "FakeTcpClient.h"
#include "util/BEPack.h"

using net::TwebSocketClint;
using net::TwsClientCont;
using tavrina_test::FakeTcpClient;

namespace {

constexpr double kSecond = 1.0 / 86400;

// A frame as a server sends it (unmasked unless a mask is given).
std::string frame(uint8_t first, const std::string& payload, bool force64 = false,
                  const std::string& mask = {}) {
    util::BEPack f;
    f.u8(first);
    const uint8_t maskBit = mask.empty() ? 0 : 0x80;
    if (force64 || payload.size() > 65535)
        f.u8(maskBit | 127).u32(0).u32(static_cast<uint32_t>(payload.size()));
    else if (payload.size() > 125)
        f.u8(maskBit | 126).u16(static_cast<uint16_t>(payload.size()));
    else
        f.u8(static_cast<uint8_t>(maskBit | payload.size()));
    std::string body = payload;
    if (!mask.empty()) {
        f.raw(mask);
        for (size_t i = 0; i < body.size(); ++i)
            body[i] ^= mask[i % 4];
    }
    return f.raw(body).take();
}

// One frame the client sent, unmasked.
struct ClientFrame {
    uint8_t first;
    uint8_t lengthCode;
    bool masked;
    std::string mask;
    std::string payload;
};

std::vector<ClientFrame> clientFrames(std::string bytes) {
    std::vector<ClientFrame> out;
    size_t at = 0;
    while (at + 2 <= bytes.size()) {
        ClientFrame f{static_cast<uint8_t>(bytes[at]),
                      static_cast<uint8_t>(bytes[at + 1] & 0x7F),
                      (bytes[at + 1] & 0x80) != 0,
                      {},
                      {}};
        size_t length = f.lengthCode;
        at += 2;
        if (f.lengthCode == 126) {
            length = (static_cast<uint8_t>(bytes[at]) << 8) | static_cast<uint8_t>(bytes[at + 1]);
            at += 2;
        }
        if (f.masked) {
            f.mask = bytes.substr(at, 4);
            at += 4;
        }
        f.payload = bytes.substr(at, length);
        for (size_t i = 0; f.masked && i < f.payload.size(); ++i)
            f.payload[i] ^= f.mask[i % 4];
        at += length;
        out.push_back(f);
    }
    return out;
}

class WebSocketTest : public ::testing::Test {
protected:
    WebSocketTest() : clock(0, 46000.0), client([this] { return makeSocket(); }, clock) {
        client.OnOpen = [this] { ++opens; };
        client.OnClose = [this] { ++closes; };
        client.OnMessage = [this](const std::string& payload, uint8_t opcode) {
            messages.emplace_back(opcode, payload);
        };
    }

    std::unique_ptr<net::TcpClient> makeSocket() {
        auto s = std::make_unique<FakeTcpClient>();
        sock = s.get();
        return s;
    }

    // Opens and answers the handshake; `extra` arrives in the same read as the response.
    void open(const std::string& extra = {}) {
        client.Open("push.example", 8081, "/qorl/zdwebsocket/13912345678_1205");
        sock->sent.clear();
        sock->accept();
        const std::string request = sock->sent;
        const size_t at = request.find("Sec-WebSocket-Key: ");
        ASSERT_NE(at, std::string::npos);
        const std::string key = request.substr(at + 19, 24);
        sock->sent.clear();
        sock->deliver("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                      "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                      TwsClientCont::AcceptFor(key) + "\r\n\r\n" + extra);
        ASSERT_EQ(opens, 1);
        opens = 0;
    }

    void seconds(double n) {
        clock.advanceMs(static_cast<uint64_t>(n * 1000));
        client.Poll();
    }

    util::FakeClock clock;
    FakeTcpClient* sock = nullptr;
    TwebSocketClint client;
    int opens = 0, closes = 0;
    std::vector<std::pair<uint8_t, std::string>> messages;
};

} // namespace

TEST_F(WebSocketTest, HandshakeRequestAndAccept) {
    client.Open("push.example", 8081, "/qorl/zdwebsocket/13912345678_1205");
    ASSERT_EQ(sock->opens.size(), 1u);
    EXPECT_EQ(sock->opens[0].first, "push.example");
    sock->accept();
    const std::string request = sock->sent;
    EXPECT_EQ(request.substr(0, request.find("Sec-WebSocket-Key: ")),
              "GET /qorl/zdwebsocket/13912345678_1205 HTTP/1.1\r\nHost: push.example:8081\r\n"
              "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n");
    EXPECT_EQ(request.size() - request.find("Sec-WebSocket-Key: "), 19u + 24u + 4u);
    EXPECT_TRUE(request.ends_with("==\r\n\r\n"));
    // RFC 6455's own example.
    EXPECT_EQ(TwsClientCont::AcceptFor("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST_F(WebSocketTest, AcceptValueMustMatchExactly) {
    struct Case {
        const char* name;
        int cut; // characters removed from the end of the accept value
        int opens;
    };
    for (const Case& c : {Case{"exact", 0, 1}, Case{"27 characters", 1, 0}}) {
        opens = closes = 0;
        client.Open("h", 1, "/p");
        sock->sent.clear();
        sock->accept();
        const std::string request = sock->sent;
        const std::string key = request.substr(request.find("Sec-WebSocket-Key: ") + 19, 24);
        std::string accept = TwsClientCont::AcceptFor(key);
        accept.resize(accept.size() - static_cast<size_t>(c.cut));
        sock->deliver("HTTP/1.1 101 OK\r\nSec-WebSocket-Accept: " + accept + "\r\n\r\n");
        EXPECT_EQ(opens, c.opens) << c.name;
        EXPECT_EQ(client.wsState() == TwsClientCont::kClosed, c.opens == 0) << c.name;
    }
}

TEST_F(WebSocketTest, HandshakeSplitAcrossReadsStillOpens) {
    client.Open("h", 1, "/p");
    sock->accept();
    const std::string request = sock->sent;
    const std::string key = request.substr(request.find("Sec-WebSocket-Key: ") + 19, 24);
    const std::string response =
        "HTTP/1.1 101 OK\r\nSec-WebSocket-Accept: " + TwsClientCont::AcceptFor(key) + "\r\n\r\n";
    sock->deliver(response.substr(0, 20));
    EXPECT_EQ(opens, 0);
    sock->deliver(response.substr(20) + frame(0x81, "hi"));
    EXPECT_EQ(opens, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, "hi");
}

TEST_F(WebSocketTest, FrameInTheSameReadAsTheResponse) {
    open(frame(0x81, "line one\r\n\r\nline two"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::make_pair(uint8_t{1}, std::string("line one\r\n\r\nline two")));
}

TEST_F(WebSocketTest, LargeAndFragmentedMessages) {
    open();
    const std::string big(70000, 'x');
    sock->deliver(frame(0x81, big, true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, big);

    // The same in 1000-byte frames, with a ping in between, fed a few bytes at a time.
    std::string stream;
    for (size_t at = 0; at < big.size(); at += 1000) {
        const bool first = at == 0, last = at + 1000 >= big.size();
        stream += frame(static_cast<uint8_t>((last ? 0x80 : 0) | (first ? 1 : 0)),
                        big.substr(at, 1000), false, first ? "" : "mask");
        if (at == 5000) stream += frame(0x89, "are you there");
    }
    sock->sent.clear();
    for (size_t at = 0; at < stream.size(); at += 777)
        sock->deliver(stream.substr(at, 777));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].second, big);
    const auto pongs = clientFrames(sock->sent);
    ASSERT_EQ(pongs.size(), 1u);
    EXPECT_EQ(pongs[0].first, 0x8A);
    EXPECT_TRUE(pongs[0].masked);
    EXPECT_EQ(pongs[0].payload, "are you there");
}

TEST_F(WebSocketTest, ProtocolErrorsFailWithACloseFrame) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"reserved bit", frame(0xC1, "x")},
        {"continuation without a start", frame(0x80, "x")},
        {"64-bit length", std::string("\x81\x7F\x00\x00\x00\x01\x00\x00\x00\x00", 10)},
        {"beyond the limit", std::string("\x81\x7F\x00\x00\x00\x00\x0F\x00\x00\x00", 10)},
    };
    for (const Case& c : cases) {
        closes = 0;
        open();
        sock->sent.clear();
        const int abortedBefore = sock->closes;
        const int closedBefore = sock->gracefulCloses;
        sock->deliver(c.bytes);
        EXPECT_EQ(client.wsState(), TwsClientCont::kClosed) << c.name;
        // The close frame must still leave: the socket is closed gracefully, not dropped.
        EXPECT_EQ(sock->gracefulCloses, closedBefore + 1) << c.name;
        EXPECT_EQ(sock->closes, abortedBefore) << c.name;
        const auto sent = clientFrames(sock->sent);
        ASSERT_EQ(sent.size(), 1u) << c.name;
        EXPECT_EQ(sent[0].first, 0x88) << c.name;
        EXPECT_EQ(sent[0].payload, "") << c.name;
        EXPECT_EQ(closes, 1) << c.name;
    }
}

TEST_F(WebSocketTest, CloseFrameFollowsTheFrameBeingSent) {
    // Half a frame in the socket: it is finished first, then the close frame goes.
    open();
    sock->sent.clear();
    sock->budget = 100;
    ASSERT_TRUE(client.engine().SendMessage(std::string(1000, 'd'), TwsClientCont::kBinary));
    ASSERT_TRUE(client.engine().SendMessage(std::string(1000, 'e'), TwsClientCont::kBinary));
    sock->budget = -1;
    client.Close();
    auto sent = clientFrames(sock->sent);
    ASSERT_EQ(sent.size(), 2u); // the queued second message is dropped
    EXPECT_EQ(sent[0].payload, std::string(1000, 'd'));
    EXPECT_EQ(sent[1].first, 0x88);
    EXPECT_EQ(sock->gracefulCloses, 1);

    // A peer that takes nothing more gets no close frame and is dropped at once.
    open();
    sock->sent.clear();
    sock->budget = 100;
    ASSERT_TRUE(client.engine().SendMessage(std::string(1000, 'd'), TwsClientCont::kBinary));
    const int aborted = sock->closes;
    client.Close();
    EXPECT_EQ(sock->sent.size(), 100u);
    EXPECT_EQ(sock->closes, aborted + 1);
    EXPECT_EQ(sock->gracefulCloses, 1);
    EXPECT_EQ(client.wsState(), TwsClientCont::kClosed);
}

TEST_F(WebSocketTest, CloseFrameIsEchoed) {
    open();
    sock->sent.clear();
    sock->deliver(frame(0x88, std::string("\x03\xE8", 2), false, "abcd"));
    const auto sent = clientFrames(sock->sent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, 0x88);
    EXPECT_EQ(sent[0].payload, std::string("\x03\xE8", 2));
    EXPECT_EQ(client.wsState(), TwsClientCont::kClosed);
    EXPECT_EQ(sock->gracefulCloses, 1);
    EXPECT_EQ(sock->closes, 0);
}

TEST_F(WebSocketTest, OutgoingMessagesAreCutAndMasked) {
    open();
    sock->sent.clear();
    const std::string payload(70000, 'y');
    ASSERT_TRUE(client.engine().SendMessage(payload, TwsClientCont::kText));
    const auto sent = clientFrames(sock->sent);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].first, 0x01);
    EXPECT_EQ(sent[1].first, 0x00);
    EXPECT_EQ(sent[2].first, 0x80);
    EXPECT_EQ(sent[0].payload.size(), 32768u);
    EXPECT_EQ(sent[1].payload.size(), 32768u);
    EXPECT_EQ(sent[2].payload.size(), 4464u);
    for (const auto& f : sent) {
        EXPECT_EQ(f.lengthCode, 126);
        EXPECT_TRUE(f.masked);
    }
    EXPECT_NE(sent[0].mask, sent[1].mask);
    EXPECT_EQ(sent[0].payload + sent[1].payload + sent[2].payload, payload);
    EXPECT_EQ(client.engine().queuedBytes, 0u); // all of it went out

    EXPECT_TRUE(client.engine().SendMessage("", TwsClientCont::kText));
    EXPECT_FALSE(client.engine().SendMessage("x", 0));
    EXPECT_FALSE(client.engine().SendMessage("x", 16));
    EXPECT_FALSE(client.engine().SendMessage(std::string(32769, 'p'), TwsClientCont::kPing));
}

TEST_F(WebSocketTest, ControlFramesOvertakeQueuedData) {
    open();
    sock->sent.clear();
    sock->acceptLimit = 0;
    ASSERT_TRUE(client.engine().SendMessage(std::string(70000, 'd'), TwsClientCont::kBinary));
    ASSERT_TRUE(client.engine().SendMessage("now", TwsClientCont::kPing));
    sock->acceptLimit = 1000;
    for (int i = 0; i < 200; ++i)
        sock->becomesWritable();
    const auto sent = clientFrames(sock->sent);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].first, 0x02);
    EXPECT_EQ(sent[1].first, 0x89); // right after the frame that was being sent
    EXPECT_EQ(sent[1].payload, "now");
    EXPECT_EQ(sent[2].first, 0x00);
    EXPECT_EQ(sent[3].first, 0x80);
}

TEST_F(WebSocketTest, DeadlinesAndKeepAlive) {
    // An unanswered handshake is given up after about 6 s.
    client.Open("h", 1, "/p");
    sock->accept();
    seconds(4);
    EXPECT_EQ(client.wsState(), TwsClientCont::kHandshaking);
    sock->sent.clear();
    seconds(4);
    EXPECT_EQ(client.wsState(), TwsClientCont::kClosed);
    EXPECT_EQ(sock->sent, ""); // no frame before the handshake is done

    // With keep-alive, quiet brings pings from about 30 s on, and 60 s without a frame fails.
    open();
    client.setKeepAlive();
    sock->sent.clear();
    for (int i = 0; i < 10; ++i)
        seconds(3);
    EXPECT_TRUE(clientFrames(sock->sent).empty());
    for (int i = 0; i < 4; ++i)
        seconds(3);
    const auto pings = clientFrames(sock->sent);
    ASSERT_FALSE(pings.empty());
    EXPECT_EQ(pings[0].first, 0x89);
    sock->deliver(frame(0x8A, "")); // a pong moves the deadline
    for (int i = 0; i < 15; ++i)
        seconds(3);
    EXPECT_EQ(client.wsState(), TwsClientCont::kKeepAlive);
    for (int i = 0; i < 7; ++i)
        seconds(3);
    EXPECT_EQ(client.wsState(), TwsClientCont::kClosed);
}
