#include "net/RTP_Cont.h"

#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/Digest.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace net {

namespace {

std::string md5(const std::string& text) {
    return util::md5Hex(text);
}

} // namespace

std::string RTP_Cont::PasswordHash(const std::string& user, const std::string& password,
                                   const std::string& key) {
    return md5(user + md5(password) + key);
}

std::string RTP_Cont::LoginToken(const std::string& user, const std::string& key) {
    return md5(user + md5(key)) + md5(md5(user) + key);
}

std::string RTP_Cont::AnswerToken(const std::string& user, const std::string& challenge,
                                  const std::string& passwordHash) {
    return md5(user + md5(challenge + passwordHash)) + md5(md5(user + challenge) + passwordHash);
}

RTP_Cont::RTP_Cont(SocketFactory makeSocket, const util::Clock& clock)
    : makeSocket(std::move(makeSocket)), clock(clock) {
    tickStart = clock.monotonicMs();
    extractor.OnFrame = [this](const media::RTPmeta& h, std::string_view body) {
        onFrame(h, body);
    };
    extractor.OnPacket = [this](const media::RTP_data& p) {
        if (p.meta.dataType != media::kTransparent && OnPacket) OnPacket(p);
    };
}

RTP_Cont::~RTP_Cont() {
    Disconnect();
}

void RTP_Cont::Connect(const std::string& userName, const std::string& password) {
    Disconnect();
    socket = makeSocket();
    user = userName;
    passwordHash = PasswordHash(user, password, key);
    bindSocket();
}

void RTP_Cont::Disconnect() {
    silenceCount = 0;
    isLoggedIn = false;
    useNotice = false;
    nextAttempt = 0;
    seq = 0;
    tickStart = clock.monotonicMs();
    extractor.Reset();
    if (socket) {
        // The owner's last requests (the close of every picture at exit) still leave.
        flush();
        if (socket->isConnected() && sendBuffer.empty())
            socket->closeGracefully();
        else
            socket->close();
        socket.reset();
    }
    sendBuffer.clear();
}

void RTP_Cont::bindSocket() {
    TcpClient::Events e;
    e.connected = [this] { onConnected(); };
    e.disconnected = [this] { onDisconnected(); };
    e.error = [this] { closeSocket(); };
    e.readable = [this] { receive(); };
    e.writable = [this] { flush(); };
    socket->setEvents(std::move(e));
}

void RTP_Cont::Poll() {
    if (!socket) return;
    receive();
    flush();
    const uint64_t nowMs = clock.monotonicMs();
    if (nowMs - tickStart < kTickMs) return;
    tickStart = nowMs;
    const util::DateTime now = clock.now();

    if (isLoggedIn) {
        if (silenceCount > 0) {
            if (silenceCount % 4 == 0) sendControl({}, util::BEPack().u16(kHeartbeat).take());
            --silenceCount;
        } else {
            closeSocket();
        }
    } else if (now > nextAttempt) {
        nextAttempt = now + kRetryDays;
        closeSocket();
        if (!socket) return; // the owner disconnected from inside an event
        if (useNotice) {
            useNotice = false;
            socket->open(noticeAddress, static_cast<uint16_t>(noticePort));
        } else {
            socket->open(serverAddress, serverPort);
        }
    }
}

void RTP_Cont::RequestChannel(const media::SIMCH& channel, bool open, uint8_t firstFlag,
                              uint8_t secondFlag) {
    const uint16_t code = open ? kOpen : kClose;
    if (!socket || !isLoggedIn) {
        if (OnReply) OnReply(channel, code, false, "视频服务器未连接"_gbk);
        return;
    }
    util::BEPack body;
    body.u16(code);
    if (open)
        body.u8(firstFlag).u8(secondFlag);
    else
        body.u8(0).u8(0);
    sendControl(channel, body.bytes());
}

void RTP_Cont::SendFlowControl(const media::SIMCH& channel, uint8_t state) {
    if (!socket || !isLoggedIn) return;
    sendControl(channel, util::BEPack().u16(kFlow).u8(state).take());
}

void RTP_Cont::SendMedia(const media::RTPmeta& header, std::string_view data, uint16_t& mediaSeq) {
    if (!socket || !isLoggedIn) return;
    queue(media::RTP1078Exp::BuildPackets(header, data, mediaSeq));
}

void RTP_Cont::sendControl(const media::SIMCH& channel, std::string_view body) {
    queue(media::RTP1078Exp::BuildControlPacket(channel, body, seq));
    flush();
}

void RTP_Cont::queue(std::string_view bytes) {
    if (sendBuffer.size() + bytes.size() > kMaxSendBuffer) {
        closeSocket();
        return;
    }
    sendBuffer.append(bytes);
}

void RTP_Cont::receive() {
    if (!socket) return;
    gathered.clear();
    char chunk[kReadChunk];
    while (socket && socket->pending() > 0) {
        const size_t got = socket->receive(chunk, sizeof chunk);
        if (got == 0) break;
        gathered.append(chunk, got);
    }
    if (!gathered.empty()) extractor.Feed(gathered);
}

void RTP_Cont::flush() {
    if (!socket || sendBuffer.empty() || !socket->isConnected()) return;
    const long sent = socket->send(sendBuffer.data(), sendBuffer.size());
    if (sent < 0) {
        closeSocket();
        return;
    }
    sendBuffer.erase(0, static_cast<size_t>(sent));
}

void RTP_Cont::closeSocket() {
    if (!socket) return;
    socket->close();
    onDisconnected();
}

void RTP_Cont::onConnected() {
    extractor.Reset();
    util::BEPack body;
    body.u16(kLogin).str16(user).str16(LoginToken(user, key));
    sendControl({}, body.bytes());
}

void RTP_Cont::onDisconnected() {
    isLoggedIn = false;
    sendBuffer.clear();
    seq = 0;
    silenceCount = 0;
}

void RTP_Cont::onFrame(const media::RTPmeta& h, std::string_view body) {
    silenceCount = kSilenceSeconds;
    if (h.dataType != media::kTransparent) {
        if (OnFrame) OnFrame(h, body);
    } else if (h.PT == media::kPtControl) {
        onControl(h.simch, body);
    }
}

void RTP_Cont::onControl(const media::SIMCH& channel, std::string_view body) {
    util::BEUnpack in(body);
    uint16_t kind = 0;
    if (!in.u16(kind)) return;
    if (kind == 0) {
        uint16_t code = 0;
        uint8_t result = 0;
        std::string text;
        if (!in.u16(code) || !in.u8(result) || !in.str16(text)) return;
        const bool ok = result != 0;
        if (code == kLogin && ok) {
            util::BEPack answer;
            answer.u16(kAnswer).str16(user).str16(AnswerToken(user, text, passwordHash));
            sendControl({}, answer.bytes());
            return;
        }
        if (code == kAnswer && ok) isLoggedIn = true;
        if (OnReply) OnReply(channel, code, ok, text);
    } else if (kind == kNotice) {
        uint32_t port = 0;
        std::string address, text;
        if (!in.u32(port) || !in.str16(address) || !in.str16(text)) return;
        // A port that is no TCP port is not kept (it would be cut to 16 bits); the text is.
        if (port >= 1 && port <= 65535) {
            noticeAddress = address;
            noticePort = port;
        }
        if (OnReply) OnReply(channel, kNotice, true, text);
    }
}

} // namespace net
