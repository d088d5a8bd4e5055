#include "PushService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

namespace sim {

PushService::PushService(const SimOptions& options, const Fleet& fleet,
                         const Recordings& recordings)
    : opts(options), fleet(fleet), recordings(recordings),
      server("tavrina-sim", QWebSocketServer::NonSecureMode) {
    QObject::connect(&server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* s = server.nextPendingConnection())
            accept(s);
    });
}

PushService::~PushService() {
    for (auto& [sim, socket] : bySim)
        socket->abort();
}

bool PushService::listen(QString& error) {
    if (!server.listen(QHostAddress(opts.host), static_cast<quint16>(opts.wsPort))) {
        error = "ws port: " + server.errorString();
        return false;
    }
    return true;
}

std::string PushService::simFromPath(const QString& path) {
    static const QRegularExpression pattern(
        "^(?:/qorl/zdwebsocket/|/zdReplyWebSocket/client_)(\\d{0,20})_1205$");
    const QRegularExpressionMatch m = pattern.match(path);
    return m.hasMatch() ? media::padSim(m.captured(1).toStdString()) : std::string();
}

void PushService::accept(QWebSocket* socket) {
    socket->setParent(this);
    const std::string sim = simFromPath(socket->requestUrl().path());
    if (sim.empty()) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "unknown path");
        socket->deleteLater();
        return;
    }
    if (opts.wsFrameBytes > 0)
        socket->setOutgoingFrameSize(static_cast<quint64>(opts.wsFrameBytes));
    bySim.emplace(sim, socket);
    std::printf("push listener for %s\n", sim.c_str());
    std::fflush(stdout);
    QObject::connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        std::erase_if(bySim, [socket](const auto& entry) { return entry.second == socket; });
        socket->deleteLater();
    });
}

int PushService::listeners(const std::string& sim) const {
    return static_cast<int>(bySim.count(sim));
}

void PushService::answerQuery(const media::SIMCH& key, const QDateTime& from, const QDateTime& to) {
    if (opts.wsPush == "none") return;
    QByteArray text;
    if (opts.wsPush == "malformed") {
        text = R"({"resourceSum":2,"avResourceList":[{"channel":1,"startTime":)";
    } else {
        QJsonArray list;
        if (opts.wsPush != "empty") {
            const SimTerminal* terminal = fleet.findTerminal(key.sim);
            if (terminal != nullptr)
                for (const SimRecording& r : recordings.find(*terminal, key.channel, from, to))
                    list.append(QJsonObject{{"channel", r.channel},
                                            {"startTime", r.start.toString("yyMMddhhmmss")},
                                            {"endTime", r.end.toString("yyMMddhhmmss")},
                                            {"type", r.type},
                                            {"streamType", r.streamType},
                                            {"memoryType", r.memoryType},
                                            {"fileSize", r.fileSize}});
        }
        text = QJsonDocument(QJsonObject{{"resourceSum", list.size()}, {"avResourceList", list}})
                   .toJson(QJsonDocument::Compact);
    }
    const auto range = bySim.equal_range(key.sim);
    for (auto it = range.first; it != range.second; ++it)
        it->second->sendTextMessage(QString::fromUtf8(text));
}

} // namespace sim
