#pragma once

#include <QDateTime>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Fleet.h"
#include "SimOptions.h"
#include "media/SIMCH.h"

namespace sim {

class ClientSession;
class ReplayCapture;
class TerminalLink;
class VirtualTerminal;

// The video server: clients log in and open channels; terminals (virtual, or real ones that
// connect to the terminal port) stream, and each packet is relayed to the clients watching.
class VideoServer : public QObject {
public:
    VideoServer(const SimOptions& options, const Fleet& fleet);
    ~VideoServer() override;

    bool listen(QString& error);
    // Virtual terminals stream this capture instead of drawn pictures.
    void setReplay(std::shared_ptr<const ReplayCapture> capture) { replay = std::move(capture); }
    quint16 videoPort() const { return clients.serverPort(); }
    quint16 terminalPort() const { return terminals.serverPort(); }

    const SimOptions& options() const { return opts; }
    bool checkUser(const std::string& user) const;
    QString noticeId() const { return "tavrina-sim-1"; }

    // Client requests. Open answers "0" when the terminal is not yet streaming, "1" when it is;
    // close answers "1" when nobody else watches. False when there is no such channel.
    bool open(ClientSession* client, const media::SIMCH& key, std::string& text);
    void close(ClientSession* client, const media::SIMCH& key, std::string& text);
    void uplink(const media::SIMCH& key, const std::string& packet);
    void forget(ClientSession* client);

    // Commands the platform forwards to a terminal. False when there is no such channel.
    bool startStream(const media::SIMCH& key);
    bool startPlayback(const media::SIMCH& key, const QDateTime& start, const QDateTime& end);
    void stopStream(const media::SIMCH& key);
    void pauseStream(const media::SIMCH& key, bool paused);
    bool knows(const media::SIMCH& key) const;

    // From a terminal: packets of one channel.
    void fromTerminal(TerminalLink* link, const media::SIMCH& key, const std::string& packets);
    void terminalGone(TerminalLink* link);

private:
    void relay(const media::SIMCH& key, const std::string& packets);
    VirtualTerminal* startVirtual(const media::SIMCH& key);
    void stopIfUnwatched(const media::SIMCH& key);
    void houseKeeping();

    const SimOptions& opts;
    const Fleet& fleet;
    QTcpServer clients;
    QTcpServer terminals;
    std::set<ClientSession*> sessions;
    std::map<media::SIMCH, std::set<ClientSession*>> watchers;
    std::map<media::SIMCH, std::unique_ptr<VirtualTerminal>> virtualTerminals;
    std::map<media::SIMCH, TerminalLink*> realTerminals;
    std::map<media::SIMCH, qint64> unwatchedSince;
    QTimer houseKeeper;
    std::shared_ptr<const ReplayCapture> replay;
};

} // namespace sim
