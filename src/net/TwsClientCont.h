#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "net/TcpClient.h"
#include "util/Clock.h"
#include "util/DateTime.h"

namespace net {

// The protocol engine of one WebSocket connection (RFC 6455): the opening handshake with its
// accept check, frames in and out with masking and fragmentation, ping/pong and close, a send
// queue in which control frames overtake data, and a liveness deadline. It works on a socket
// it does not own and takes its time from the owner.
class TwsClientCont {
public:
    enum State : int { kHandshaking = 0, kOpen = 1, kKeepAlive = 2, kClosed = 3 };
    enum Opcode : uint8_t {
        kContinuation = 0,
        kText = 1,
        kBinary = 2,
        kClose = 8,
        kPing = 9,
        kPong = 10,
    };

    static constexpr size_t maxBytes = 209715200;
    static constexpr size_t kFrameBytes = 32768;
    static constexpr size_t kReadChunk = 1024;
    // A handshake response longer than this without its end is not a WebSocket server.
    static constexpr size_t kMaxHandshake = 16 * 1024;
    static constexpr util::DateTime kHandshakeDays = 0.00007;   // about 6 s
    static constexpr util::DateTime kIdleDays = 0.0007;         // about 60.5 s
    static constexpr util::DateTime kPingBeforeDays = 0.000347; // about 30 s
    static constexpr util::DateTime kCheckDays = 0.000035;      // about 3 s

    using MessageConsumer = std::function<void(const std::string& payload, uint8_t opcode)>;
    using BytesConsumer = std::function<void(std::string_view bytes)>;

    // Starts over on `socket` (may be null): handshaking, deadline about 6 s from now.
    void Reset(TcpClient* socket, bool clientMode, util::DateTime now);
    // Sends the opening request for `path`, naming `host` and `port` in its Host field.
    void SendHandshake(const std::string& path, const std::string& host, uint16_t port);
    bool SendMessage(std::string_view payload, uint8_t opcode);
    void Service(util::DateTime now);
    void Receive(util::DateTime now);
    void Flush();
    void Fail();

    int wsState = kClosed;
    std::string expectedAccept;
    util::DateTime deadline = 0;
    size_t queuedBytes = 0;

    std::function<void()> OnOpen;
    BytesConsumer OnRaw;
    std::function<void(size_t accepted)> OnSent;
    MessageConsumer OnMessage;
    // The engine closed the socket itself (the socket raises no event for that).
    std::function<void()> OnSocketClosed;

    // The accept value a server must answer to `key`.
    static std::string AcceptFor(std::string_view key);

private:
    enum class Parsed { Wait, Frame, Failed };
    bool finishHandshake(util::DateTime now);
    Parsed parseFrame(size_t offset, uint8_t& opcode, bool& final, std::string& payload,
                      size_t& frameSize);
    void deliver(uint8_t opcode, const std::string& payload, util::DateTime now);
    void queueFrame(std::string frame, uint8_t opcode, size_t payloadSize);
    // Graceful: the bytes handed to the socket still leave (a close frame); else dropped.
    void closeSocket(bool graceful = false);
    bool allHandedOver() const;
    std::string randomBytes(size_t n);

    TcpClient* socket = nullptr;
    bool clientMode = true;
    std::string received;
    std::string fragments;
    uint8_t pendingOpcode = 0;
    std::string sending;
    std::deque<std::string> queue;
    std::deque<size_t> queuedPayloads; // payload size of each queued frame
    size_t sendingPayload = 0;
    util::DateTime lastCheck = 0;
};

} // namespace net
