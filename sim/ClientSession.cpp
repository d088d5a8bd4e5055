#include "ClientSession.h"

#include <QRandomGenerator>
#include <cstdio>

#include "VideoServer.h"
#include "net/RTP_Cont.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace sim {

namespace {
const std::string kClientKey = "vbnx%%%kwz847";
const std::string kVideoPassword = "mqv908172";
} // namespace

ClientSession::ClientSession(VideoServer& server, QTcpSocket* s) : server(server), socket(s) {
    socket->setParent(this);
    socket->setReadBufferSize(1 << 20);
    peerName = QString("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    sinceLastByte.start();
    extractor.OnPacket = [this](const media::RTP_data& p) {
        bytesInPackets += static_cast<qint64>(p.data.size());
        if (p.meta.dataType != media::kTransparent && loggedIn)
            this->server.uplink(p.meta.simch, p.data);
    };
    extractor.OnFrame = [this](const media::RTPmeta& h, std::string_view body) {
        if (h.dataType == media::kTransparent && h.PT == media::kPtControl)
            onControl(h.simch, body);
    };
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { readAll(); });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this] { drop("disconnected"); });
    QObject::connect(&seconds, &QTimer::timeout, this, [this] { everySecond(); });
    seconds.start(1000);
    std::printf("client %s connected\n", qPrintable(peerName));
    std::fflush(stdout);
}

ClientSession::~ClientSession() = default;

void ClientSession::readAll() {
    if (!socket || dropping) return;
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty()) return;
    sinceLastByte.restart();
    bytesIn += bytes.size();
    extractor.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    // Bytes that never formed a packet: a client that sends mostly junk is not a client.
    if (!dropping &&
        bytesIn - bytesInPackets - static_cast<qint64>(extractor.pendingBytes()) > kMaxJunk)
        drop("sent junk");
}

void ClientSession::onControl(const media::SIMCH& key, std::string_view body) {
    util::BEUnpack in(body);
    uint16_t code = 0;
    if (!in.u16(code)) return;
    if (code == net::RTP_Cont::kLogin || code == net::RTP_Cont::kAnswer) {
        std::string name, token;
        if (!in.str16(name) || !in.str16(token)) return;
        if (code == net::RTP_Cont::kLogin) {
            const bool ok = !server.options().refuseLogins && server.checkUser(name) &&
                            token == net::RTP_Cont::LoginToken(name, kClientKey);
            if (!ok) {
                reply({}, code, false, "登录被拒绝"_gbk);
                return;
            }
            user = name;
            challenge = QString::number(QRandomGenerator::global()->generate64(), 16).toStdString();
            reply({}, code, true, challenge);
        } else {
            const std::string hash = net::RTP_Cont::PasswordHash(user, kVideoPassword, kClientKey);
            const bool ok = !user.empty() && name == user && !challenge.empty() &&
                            token == net::RTP_Cont::AnswerToken(user, challenge, hash);
            if (!ok) {
                reply({}, code, false, "密码错误"_gbk);
                return;
            }
            loggedIn = true;
            sinceLogin.start();
            reply({}, code, true, "登录成功"_gbk);
            sendNotice();
            std::printf("client %s logged in as %s\n", qPrintable(peerName), user.c_str());
            std::fflush(stdout);
        }
        return;
    }
    if (!loggedIn) {
        reply(key, code, false, "未登录"_gbk);
        return;
    }
    uint8_t a = 0, b = 0;
    std::string text;
    switch (code) {
    case net::RTP_Cont::kOpen:
        if (!in.u8(a) || !in.u8(b)) return;
        if (server.open(this, key, text)) {
            opened.insert(key);
            reply(key, code, true, text);
        } else {
            reply(key, code, false, "通道不存在"_gbk);
        }
        std::printf("client %s open %s:%u -> %s\n", qPrintable(peerName), key.sim.c_str(),
                    key.channel, text.c_str());
        break;
    case net::RTP_Cont::kClose:
        opened.erase(key);
        held.erase(key);
        server.close(this, key, text);
        reply(key, code, true, text);
        break;
    case net::RTP_Cont::kFlow:
        if (!in.u8(a)) return;
        if (a != 0)
            held.insert(key);
        else
            held.erase(key);
        break;
    case net::RTP_Cont::kHeartbeat:
        reply({}, code, true, "");
        break;
    default:
        break;
    }
}

void ClientSession::reply(const media::SIMCH& key, uint16_t code, bool ok,
                          const std::string& text) {
    util::BEPack body;
    body.u16(0).u16(code).u8(ok ? 1 : 0).str16(text);
    const std::string packet = media::RTP1078Exp::BuildControlPacket(key, body.bytes(), seq);
    const int delay = server.options().replyDelayMs;
    if (delay <= 0) {
        write(packet);
        return;
    }
    QTimer::singleShot(delay, this, [this, packet] { write(packet); });
}

void ClientSession::sendNotice() {
    util::BEPack body;
    body.u16(net::RTP_Cont::kNotice)
        .u32(server.videoPort())
        .str16(server.options().host.toStdString())
        .str16(server.noticeId().toStdString());
    write(media::RTP1078Exp::BuildControlPacket({}, body.bytes(), seq));
}

void ClientSession::sendMedia(const media::SIMCH& key, const std::string& packets) {
    if (held.count(key) == 0) write(packets);
}

void ClientSession::write(const std::string& bytes) {
    if (!socket || dropping) return;
    if (socket->bytesToWrite() > kMaxUnsent) {
        drop("stopped reading");
        return;
    }
    socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void ClientSession::everySecond() {
    if (sinceLastByte.elapsed() > kMaxSilenceMs) {
        drop("silent");
        return;
    }
    const int dropAfter = server.options().dropAfterSeconds;
    if (loggedIn && dropAfter > 0 && sinceLogin.elapsed() >= dropAfter * 1000LL) drop("drop-after");
}

void ClientSession::drop(const char* why) {
    if (dropping) return;
    dropping = true;
    std::printf("client %s dropped: %s\n", qPrintable(peerName), why);
    std::fflush(stdout);
    seconds.stop();
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
    server.forget(this);
    deleteLater();
}

} // namespace sim
