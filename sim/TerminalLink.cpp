#include "TerminalLink.h"

#include "VideoServer.h"

namespace sim {

TerminalLink::TerminalLink(VideoServer& server, QTcpSocket* s) : server(server), socket(s) {
    socket->setParent(this);
    socket->setReadBufferSize(4 << 20);
    extractor.OnPacket = [this](const media::RTP_data& p) {
        if (p.meta.dataType != media::kTransparent)
            this->server.fromTerminal(this, p.meta.simch, p.data);
    };
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = socket->readAll();
        extractor.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this] {
        this->server.terminalGone(this);
        deleteLater();
    });
}

TerminalLink::~TerminalLink() = default;

void TerminalLink::write(const std::string& bytes) {
    if (socket && socket->bytesToWrite() < (4 << 20))
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace sim
