#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "media/RTP1078Exp.h"
#include "net/TcpClient.h"
#include "util/Clock.h"
#include "util/DateTime.h"

namespace net {

// The client's one connection to the video server: a two-step login, channel requests, flow
// control, heartbeats and reconnection, all as stream packets. Driven by Poll from the owner's
// timer and by the socket's events, on one thread.
class RTP_Cont {
public:
    using SocketFactory = std::function<std::unique_ptr<TcpClient>()>;
    using ReplyConsumer = std::function<void(const media::SIMCH& key, uint16_t code, bool result,
                                             const std::string& text)>;

    // Control message codes.
    enum : uint16_t {
        kOpen = 1,
        kClose = 2,
        kLogin = 3,
        kAnswer = 4,
        kNotice = 5,
        kFlow = 6,
        kHeartbeat = 7,
    };

    static constexpr uint8_t kSilenceSeconds = 15;
    static constexpr util::DateTime kRetryDays = 0.00006; // about 5.2 s
    static constexpr uint64_t kTickMs = 1000;
    static constexpr size_t kReadChunk = 1024;
    // A peer that stops reading must not make the queue grow without end: past this the
    // connection is dropped and the reconnect rule takes over.
    static constexpr size_t kMaxSendBuffer = 8u << 20;

    RTP_Cont(SocketFactory makeSocket, const util::Clock& clock);
    ~RTP_Cont();
    RTP_Cont(const RTP_Cont&) = delete;
    RTP_Cont& operator=(const RTP_Cont&) = delete;

    void Connect(const std::string& user, const std::string& password);
    void Disconnect();
    void Poll();
    void RequestChannel(const media::SIMCH& key, bool open, uint8_t firstFlag, uint8_t secondFlag);
    void SendFlowControl(const media::SIMCH& key, uint8_t state);
    void SendMedia(const media::RTPmeta& header, std::string_view data, uint16_t& mediaSeq);

    bool loggedIn() const { return isLoggedIn; }
    bool hasSocket() const { return socket != nullptr; }
    size_t sendBufferSize() const { return sendBuffer.size(); }

    // Tokens of the login (lowercase hex MD5 texts).
    static std::string PasswordHash(const std::string& user, const std::string& password,
                                    const std::string& key);
    static std::string LoginToken(const std::string& user, const std::string& key);
    static std::string AnswerToken(const std::string& user, const std::string& challenge,
                                   const std::string& passwordHash);

    std::string serverAddress;
    uint16_t serverPort = 0;
    std::string noticeAddress;
    uint32_t noticePort = 0;
    bool useNotice = false;
    const std::string key = "vbnx%%%kwz847";

    media::RTP1078Exp::FrameConsumer OnFrame;
    media::RTP1078Exp::PacketConsumer OnPacket;
    ReplyConsumer OnReply;

private:
    void bindSocket();
    void receive();
    void flush();
    void sendControl(const media::SIMCH& key, std::string_view body);
    void queue(std::string_view bytes);
    void closeSocket();
    void onConnected();
    void onDisconnected();
    void onFrame(const media::RTPmeta& header, std::string_view body);
    void onControl(const media::SIMCH& key, std::string_view body);

    SocketFactory makeSocket;
    const util::Clock& clock;
    std::unique_ptr<TcpClient> socket;
    std::string user;
    std::string passwordHash;
    bool isLoggedIn = false;
    uint8_t silenceCount = 0;
    util::DateTime nextAttempt = 0;
    uint16_t seq = 0;
    std::string sendBuffer;
    media::RTP1078Exp extractor;
    uint64_t tickStart = 0;
    std::string gathered;
};

} // namespace net
