#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include "media/RTP1078Exp.h"

namespace sim {

class VideoServer;

// A real terminal (or anything else) pushing stream packets to the terminal port.
class TerminalLink : public QObject {
public:
    TerminalLink(VideoServer& server, QTcpSocket* socket);
    ~TerminalLink() override;
    void write(const std::string& bytes);

private:
    VideoServer& server;
    QPointer<QTcpSocket> socket;
    media::RTP1078Exp extractor;
};

} // namespace sim
