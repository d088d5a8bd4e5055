#include "net/TwsClientCont.h"

#include <openssl/rand.h>

#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/Base64.h"
#include "util/Digest.h"

namespace net {

namespace {

constexpr std::string_view kAcceptField = "Sec-WebSocket-Accept:";
constexpr std::string_view kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr size_t kAcceptLength = 28;

bool isControl(uint8_t opcode) {
    return opcode >= 3;
}

} // namespace

std::string TwsClientCont::AcceptFor(std::string_view key) {
    return util::base64Encode(util::sha1(std::string(key) + std::string(kGuid)));
}

std::string TwsClientCont::randomBytes(size_t n) {
    std::string bytes(n, '\0');
    // Masks and keys must be unpredictable; libcrypto's generator is.
    RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(n));
    return bytes;
}

void TwsClientCont::Reset(TcpClient* s, bool client, util::DateTime now) {
    socket = s;
    clientMode = client;
    wsState = kHandshaking;
    deadline = now + kHandshakeDays;
    lastCheck = now;
    received.clear();
    fragments.clear();
    pendingOpcode = 0;
    sending.clear();
    queue.clear();
    queuedPayloads.clear();
    sendingPayload = 0;
    queuedBytes = 0;
    expectedAccept.clear();
}

void TwsClientCont::SendHandshake(const std::string& path, const std::string& host, uint16_t port) {
    if (!socket || wsState != kHandshaking) return;
    const std::string key = util::base64Encode(randomBytes(16));
    expectedAccept = AcceptFor(key);
    std::string request = "GET " + path + " HTTP/1.1\r\n";
    request += "Host: " + host + ":" + std::to_string(port) + "\r\n";
    request += "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n";
    request += "Sec-WebSocket-Key: " + key + "\r\n\r\n";
    queue.push_back(std::move(request));
    queuedPayloads.push_back(0);
    Flush();
}

bool TwsClientCont::SendMessage(std::string_view payload, uint8_t opcode) {
    if (!socket || wsState == kClosed || opcode == 0 || opcode > 15) return false;
    if (queuedBytes + payload.size() > maxBytes) return false;
    if (isControl(opcode) && payload.size() > kFrameBytes) return false;
    size_t offset = 0;
    do {
        const size_t n = std::min(kFrameBytes, payload.size() - offset);
        const bool last = offset + n == payload.size();
        const uint8_t code = offset == 0 ? opcode : uint8_t{kContinuation};
        util::BEPack frame;
        frame.u8(static_cast<uint8_t>((last ? 0x80 : 0) | code));
        const uint8_t maskBit = clientMode ? 0x80 : 0;
        if (n <= 125)
            frame.u8(static_cast<uint8_t>(maskBit | n));
        else
            frame.u8(maskBit | 126).u16(static_cast<uint16_t>(n));
        std::string chunk(payload.substr(offset, n));
        if (clientMode) {
            const std::string mask = randomBytes(4);
            frame.raw(mask);
            for (size_t i = 0; i < chunk.size(); ++i)
                chunk[i] ^= mask[i % 4];
        }
        frame.raw(chunk);
        queuedBytes += n;
        queueFrame(frame.take(), code == kContinuation ? opcode : code, n);
        offset += n;
    } while (offset < payload.size());
    Flush();
    return true;
}

void TwsClientCont::queueFrame(std::string frame, uint8_t opcode, size_t payloadSize) {
    // Control frames leave right after what the socket is already taking.
    if (isControl(opcode) && !sending.empty()) {
        queue.push_front(std::move(frame));
        queuedPayloads.push_front(payloadSize);
    } else {
        queue.push_back(std::move(frame));
        queuedPayloads.push_back(payloadSize);
    }
}

void TwsClientCont::Flush() {
    while (socket && (!sending.empty() || !queue.empty())) {
        if (sending.empty()) {
            sending = std::move(queue.front());
            sendingPayload = queuedPayloads.front();
            queue.pop_front();
            queuedPayloads.pop_front();
        }
        const long accepted = socket->send(sending.data(), sending.size());
        if (accepted < 0) {
            closeSocket();
            return;
        }
        if (accepted == 0) return;
        if (OnSent) OnSent(static_cast<size_t>(accepted));
        sending.erase(0, static_cast<size_t>(accepted));
        if (sending.empty()) {
            // Sent payload no longer counts against the limit.
            queuedBytes -= std::min(queuedBytes, sendingPayload);
            sendingPayload = 0;
        }
    }
}

void TwsClientCont::closeSocket(bool graceful) {
    if (socket) {
        if (graceful)
            socket->closeGracefully();
        else
            socket->close();
    }
    wsState = kClosed;
    if (OnSocketClosed) OnSocketClosed();
}

bool TwsClientCont::allHandedOver() const {
    return sending.empty() && queue.empty();
}

void TwsClientCont::Fail() {
    received.clear();
    queue.clear();
    queuedPayloads.clear();
    // Frames exist only once the handshake is done. A frame half handed to the socket is
    // finished first, or the close frame would land inside it; a peer that takes neither
    // is just dropped.
    bool polite = false;
    const bool wasOpen = wsState != kClosed;
    if (socket && (wsState == kOpen || wsState == kKeepAlive) && socket->isConnected()) {
        Flush(); // a send error closes the socket (and says so) itself
        if (wsState != kClosed && sending.empty()) {
            util::BEPack close;
            close.u8(0x80 | kClose).u8(clientMode ? 0x80 : 0);
            if (clientMode) close.raw(randomBytes(4));
            const std::string& frame = close.bytes();
            polite = socket->send(frame.data(), frame.size()) == static_cast<long>(frame.size());
        }
    }
    if (socket && (wsState != kClosed || !wasOpen)) closeSocket(polite);
    queue.clear();
    queuedPayloads.clear();
    sending.clear();
    queuedBytes = 0;
    wsState = kClosed;
}

void TwsClientCont::Service(util::DateTime now) {
    if (!socket) {
        wsState = kClosed;
        return;
    }
    Receive(now);
    Flush();
    if (now - lastCheck < kCheckDays) return;
    lastCheck = now;
    if (wsState == kKeepAlive && deadline - now < kPingBeforeDays) SendMessage({}, kPing);
    if (wsState != kClosed && now > deadline) Fail();
}

void TwsClientCont::Receive(util::DateTime now) {
    if (!socket) return;
    char chunk[kReadChunk];
    size_t before = received.size();
    while (socket && socket->pending() > 0) {
        const size_t got = socket->receive(chunk, sizeof chunk);
        if (got == 0) break;
        received.append(chunk, got);
    }
    if (received.empty()) return;
    if (OnRaw && received.size() > before) OnRaw(std::string_view(received).substr(before));
    if (wsState == kHandshaking && !finishHandshake(now)) return;
    size_t offset = 0;
    while (wsState != kClosed && offset < received.size()) {
        uint8_t opcode = 0;
        bool final = false;
        std::string payload;
        size_t frameSize = 0;
        const Parsed p = parseFrame(offset, opcode, final, payload, frameSize);
        if (p == Parsed::Wait) break;
        if (p == Parsed::Failed) {
            Fail();
            return;
        }
        offset += frameSize;
        if (opcode == kText || opcode == kBinary) {
            fragments.clear();
            pendingOpcode = 0;
            if (final) {
                deliver(opcode, payload, now);
            } else {
                fragments = std::move(payload);
                pendingOpcode = opcode;
            }
        } else if (opcode == kContinuation) {
            if (pendingOpcode == 0) {
                Fail();
                return;
            }
            fragments += payload;
            if (final) {
                const uint8_t whole = pendingOpcode;
                std::string message = std::move(fragments);
                fragments.clear();
                pendingOpcode = 0;
                deliver(whole, message, now);
            }
        } else {
            deliver(opcode, payload, now);
        }
    }
    // Consumed frames go in one step, so many small frames cost linear time.
    received.erase(0, std::min(offset, received.size()));
}

bool TwsClientCont::finishHandshake(util::DateTime now) {
    // Wait for the whole response header: it may arrive in pieces.
    const size_t end = received.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (received.size() > kMaxHandshake) {
            received.clear();
            closeSocket();
        }
        return false;
    }
    const std::string_view header = std::string_view(received).substr(0, end + 2);
    size_t at = header.find(kAcceptField);
    std::string_view value;
    if (at != std::string_view::npos) {
        at += kAcceptField.size();
        while (at < header.size() && (header[at] == ' ' || header[at] == '\t'))
            ++at;
        value = header.substr(at, kAcceptLength);
        const size_t stop = value.find_first_of("\r\n \t");
        if (stop != std::string_view::npos) value = value.substr(0, stop);
    }
    if (expectedAccept.empty() || value != expectedAccept) {
        received.clear();
        closeSocket();
        return false;
    }
    received.erase(0, end + 4);
    wsState = kOpen;
    deadline = now + kIdleDays;
    if (OnOpen) OnOpen();
    return wsState != kClosed;
}

TwsClientCont::Parsed TwsClientCont::parseFrame(size_t offset, uint8_t& opcode, bool& final,
                                                std::string& payload, size_t& frameSize) {
    util::BEUnpack in(std::string_view(received).substr(offset));
    uint8_t b0 = 0, b1 = 0;
    if (!in.u8(b0) || !in.u8(b1)) return Parsed::Wait;
    if ((b0 & 0x70) != 0) return Parsed::Failed; // reserved bits
    final = (b0 & 0x80) != 0;
    opcode = b0 & 0x0F;
    const bool masked = (b1 & 0x80) != 0;
    uint64_t length = b1 & 0x7F;
    if (length == 126) {
        uint16_t n = 0;
        if (!in.u16(n)) return Parsed::Wait;
        length = n;
    } else if (length == 127) {
        uint32_t high = 0, low = 0;
        if (!in.u32(high) || !in.u32(low)) return Parsed::Wait;
        if (high != 0) return Parsed::Failed;
        length = low;
    }
    if (fragments.size() + length > maxBytes) return Parsed::Failed;
    std::string mask;
    if (masked && !in.raw(4, mask)) return Parsed::Wait;
    if (!in.raw(static_cast<size_t>(length), payload)) return Parsed::Wait;
    if (masked)
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] ^= mask[i % 4];
    frameSize = in.pos();
    return Parsed::Frame;
}

void TwsClientCont::deliver(uint8_t opcode, const std::string& payload, util::DateTime now) {
    if (wsState == kKeepAlive) deadline = now + kIdleDays;
    switch (opcode) {
    case kText:
    case kBinary:
        if (OnMessage) OnMessage(payload, opcode);
        break;
    case kClose:
        // Nothing may follow the echoed close frame: data still queued is dropped.
        queue.clear();
        queuedPayloads.clear();
        SendMessage(payload.substr(0, kFrameBytes), kClose);
        if (wsState != kClosed) closeSocket(allHandedOver());
        break;
    case kPing:
        SendMessage(payload, kPong);
        break;
    default:
        break;
    }
}

} // namespace net
