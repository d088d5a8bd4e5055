#pragma once

#include <QObject>
#include <QWebSocket>
#include <QWebSocketServer>
#include <map>
#include <string>

#include "Recordings.h"
#include "SimOptions.h"
#include "media/SIMCH.h"

namespace sim {

// The platform's push channel: clients listen per terminal on a WebSocket path naming its SIM,
// and receive the terminal's recording list when they ask the platform for it.
class PushService : public QObject {
public:
    PushService(const SimOptions& options, const Fleet& fleet, const Recordings& recordings);
    ~PushService() override;

    bool listen(QString& error);
    quint16 port() const { return server.serverPort(); }
    // The terminal answers a recording-list query: the list goes to every listener of its SIM.
    void answerQuery(const media::SIMCH& key, const QDateTime& from, const QDateTime& to);
    int listeners(const std::string& sim) const;

private:
    void accept(QWebSocket* socket);
    static std::string simFromPath(const QString& path);

    const SimOptions& opts;
    const Fleet& fleet;
    const Recordings& recordings;
    QWebSocketServer server;
    std::multimap<std::string, QWebSocket*> bySim;
};

} // namespace sim
