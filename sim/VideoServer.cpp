#include "VideoServer.h"

#include <QHostAddress>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "ClientSession.h"
#include "TerminalLink.h"
#include "VirtualTerminal.h"

namespace sim {

namespace {
// A terminal asked to stream needs a moment to connect, as a real one would.
constexpr int kTerminalStartMs = 300;
// A terminal nobody watches stops after this long, even when nobody told it to.
constexpr qint64 kUnwatchedStopMs = 10000;

void pictureSize(PictureSize size, int& w, int& h) {
    switch (size) {
    case PictureSize::Cif:
        w = 352, h = 288;
        break;
    case PictureSize::D1:
        w = 704, h = 576;
        break;
    case PictureSize::Hd720:
        w = 1280, h = 720;
        break;
    }
}
} // namespace

VideoServer::VideoServer(const SimOptions& options, const Fleet& fleet)
    : opts(options), fleet(fleet) {
    QObject::connect(&clients, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = clients.nextPendingConnection())
            sessions.insert(new ClientSession(*this, s));
    });
    QObject::connect(&terminals, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = terminals.nextPendingConnection())
            new TerminalLink(*this, s);
    });
    QObject::connect(&houseKeeper, &QTimer::timeout, this, [this] { houseKeeping(); });
    houseKeeper.start(1000);
}

VideoServer::~VideoServer() {
    virtualTerminals.clear();
    for (ClientSession* s : sessions)
        delete s;
}

bool VideoServer::listen(QString& error) {
    const QHostAddress host(opts.host);
    if (!clients.listen(host, opts.videoPort)) {
        error = "video port: " + clients.errorString();
        return false;
    }
    if (!terminals.listen(host, opts.terminalPort)) {
        error = "terminal port: " + terminals.errorString();
        return false;
    }
    return true;
}

bool VideoServer::checkUser(const std::string& user) const {
    const QString name = QString::fromStdString(user);
    for (const QString& u : opts.users)
        if (u.section(':', 0, 0) == name) return true;
    return false;
}

bool VideoServer::knows(const media::SIMCH& key) const {
    const SimTerminal* t = fleet.findTerminal(key.sim);
    return t != nullptr && std::count(t->channels.begin(), t->channels.end(), key.channel) != 0;
}

bool VideoServer::open(ClientSession* client, const media::SIMCH& key, std::string& text) {
    const bool known = knows(key);
    const bool streaming = virtualTerminals.count(key) != 0 || realTerminals.count(key) != 0;
    if (!known && !streaming) return false;
    watchers[key].insert(client);
    text = streaming ? "1" : "0";
    if (!streaming && opts.autoTerminal && known)
        QTimer::singleShot(kTerminalStartMs, this, [this, key] {
            if (watchers.count(key)) startVirtual(key);
        });
    return true;
}

void VideoServer::close(ClientSession* client, const media::SIMCH& key, std::string& text) {
    auto it = watchers.find(key);
    if (it != watchers.end()) {
        it->second.erase(client);
        if (it->second.empty()) watchers.erase(it);
    }
    text = watchers.count(key) ? "2" : "1";
    stopIfUnwatched(key);
}

void VideoServer::forget(ClientSession* client) {
    sessions.erase(client);
    std::vector<media::SIMCH> keys;
    for (auto& [key, set] : watchers)
        if (set.erase(client)) keys.push_back(key);
    for (const media::SIMCH& key : keys) {
        if (watchers[key].empty()) watchers.erase(key);
        stopIfUnwatched(key);
    }
}

VirtualTerminal* VideoServer::startVirtual(const media::SIMCH& key) {
    if (realTerminals.count(key)) return nullptr;
    if (auto it = virtualTerminals.find(key); it != virtualTerminals.end()) return it->second.get();
    const SimTerminal* t = fleet.findTerminal(key.sim);
    if (t == nullptr || !knows(key)) return nullptr;
    int w = 0, h = 0;
    pictureSize(opts.pictureSize, w, h);
    auto terminal = std::make_unique<VirtualTerminal>(
        *t, fleet.vehicleOf(key.sim)->plate, key.channel, w, h,
        [this](const media::SIMCH& k, const std::string& packets) { relay(k, packets); }, replay);
    if (!terminal->start()) {
        std::fprintf(stderr, "terminal %s:%u: the H.264 encoder did not open\n", key.sim.c_str(),
                     key.channel);
        return nullptr;
    }
    std::printf("terminal %s:%u streaming\n", key.sim.c_str(), key.channel);
    std::fflush(stdout);
    VirtualTerminal* started = terminal.get();
    virtualTerminals[key] = std::move(terminal);
    return started;
}

bool VideoServer::startStream(const media::SIMCH& key) {
    if (!knows(key)) return false;
    if (auto it = virtualTerminals.find(key); it != virtualTerminals.end()) {
        it->second->setPaused(false);
        return true;
    }
    return realTerminals.count(key) != 0 || startVirtual(key) != nullptr;
}

bool VideoServer::startPlayback(const media::SIMCH& key, const QDateTime& start,
                                const QDateTime& end) {
    if (!knows(key)) return false;
    virtualTerminals.erase(key); // a playback replaces whatever the channel was sending
    VirtualTerminal* t = startVirtual(key);
    if (t != nullptr) t->playRecording(start, end);
    return t != nullptr;
}

void VideoServer::stopStream(const media::SIMCH& key) {
    if (virtualTerminals.erase(key)) {
        std::printf("terminal %s:%u stopped\n", key.sim.c_str(), key.channel);
        std::fflush(stdout);
    }
}

void VideoServer::pauseStream(const media::SIMCH& key, bool paused) {
    if (auto it = virtualTerminals.find(key); it != virtualTerminals.end())
        it->second->setPaused(paused);
}

void VideoServer::houseKeeping() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::vector<media::SIMCH> stop;
    for (const auto& [key, terminal] : virtualTerminals) {
        if (terminal->finished()) {
            stop.push_back(key);
        } else if (watchers.count(key)) {
            unwatchedSince.erase(key);
        } else if (!unwatchedSince.count(key)) {
            unwatchedSince[key] = now;
        } else if (now - unwatchedSince[key] > kUnwatchedStopMs) {
            stop.push_back(key);
        }
    }
    for (const media::SIMCH& key : stop) {
        unwatchedSince.erase(key);
        stopStream(key);
    }
}

void VideoServer::stopIfUnwatched(const media::SIMCH& key) {
    if (watchers.count(key) == 0) stopStream(key);
}

void VideoServer::uplink(const media::SIMCH& key, const std::string& packet) {
    auto it = realTerminals.find(key);
    if (it != realTerminals.end()) it->second->write(packet);
    // A virtual terminal has no loudspeaker: its uplink audio is dropped.
}

void VideoServer::fromTerminal(TerminalLink* link, const media::SIMCH& key,
                               const std::string& packets) {
    realTerminals[key] = link;
    virtualTerminals.erase(key); // a real terminal takes the channel over
    relay(key, packets);
}

void VideoServer::terminalGone(TerminalLink* link) {
    std::erase_if(realTerminals, [link](const auto& entry) { return entry.second == link; });
}

void VideoServer::relay(const media::SIMCH& key, const std::string& packets) {
    auto it = watchers.find(key);
    if (it == watchers.end()) return;
    // Copy: a client may be dropped while it is sent to.
    const std::set<ClientSession*> watching = it->second;
    for (ClientSession* c : watching)
        if (sessions.count(c)) c->sendMedia(key, packets);
}

} // namespace sim
