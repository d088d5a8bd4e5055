#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <set>
#include <string>

#include "media/RTP1078Exp.h"

namespace sim {

class VideoServer;

// One client of the video server: its login, the channels it opened and the ones it holds back.
class ClientSession : public QObject {
public:
    // A client stalled this far behind, or this much junk, or this long silent, is dropped.
    static constexpr qint64 kMaxUnsent = 8 << 20;
    static constexpr qint64 kMaxJunk = 64 << 10;
    static constexpr qint64 kMaxSilenceMs = 60000;

    ClientSession(VideoServer& server, QTcpSocket* socket);
    ~ClientSession() override;

    // Relays media of a channel the client opened, unless it asked to hold it back.
    void sendMedia(const media::SIMCH& key, const std::string& packets);
    bool watches(const media::SIMCH& key) const { return opened.count(key) != 0; }
    QString peer() const { return peerName; }

private:
    void readAll();
    void onControl(const media::SIMCH& key, std::string_view body);
    void reply(const media::SIMCH& key, uint16_t code, bool ok, const std::string& text);
    void sendNotice();
    void write(const std::string& bytes);
    void everySecond();
    void drop(const char* why);

    VideoServer& server;
    QPointer<QTcpSocket> socket;
    QString peerName;
    media::RTP1078Exp extractor;
    QTimer seconds;
    QElapsedTimer sinceLastByte;
    QElapsedTimer sinceLogin;
    qint64 bytesIn = 0;
    qint64 bytesInPackets = 0;
    std::string user;
    std::string challenge;
    bool loggedIn = false;
    bool dropping = false;
    uint16_t seq = 0;
    std::set<media::SIMCH> opened;
    std::set<media::SIMCH> held;
};

} // namespace sim
