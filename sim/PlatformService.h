#pragma once

#include <QHttpServer>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <map>

#include "Fleet.h"
#include "SimOptions.h"

namespace sim {

class VideoServer;
class PushService;
class Recordings;

// The platform's web service: login, the vehicle list, terminal states, patrol reports and
// alarms under one base address, and the media commands at another, acting on the simulated
// fleet. What it received can be read back (GET /sim/commands, /sim/patrols, /sim/alarms).
class PlatformService : public QObject {
public:
    static constexpr const char* kDataBase = "/qorl/app/";
    static constexpr const char* kCommandPath = "/qorl/command";
    // Records kept for inspection; the oldest go first.
    static constexpr qsizetype kMaxRecords = 10000;

    PlatformService(const SimOptions& options, const Fleet& fleet, VideoServer& video,
                    const Recordings& recordings, PushService* push);

    bool listen(QString& error);
    quint16 port() const { return boundPort; }
    QString dataUrl() const;
    QString commandUrl() const;

private:
    using Handler = QJsonObject (PlatformService::*)(const QJsonObject& body);

    void addPost(const QString& path, Handler handler);
    void addInspection(const QString& path, const QJsonArray* records);
    void answer(const QString& path, const QByteArray& body, Handler handler,
                QHttpServerResponder&& responder);

    QJsonObject login(const QJsonObject& body);
    QJsonObject vehicleList(const QJsonObject& body);
    QJsonObject states(const QJsonObject& body);
    QJsonObject patrol(const QJsonObject& body);
    QJsonObject alarm(const QJsonObject& body);
    QJsonObject command(const QJsonObject& body);

    static QJsonObject envelope(int code, const QString& msg,
                                const QJsonValue& obj = QJsonValue(QJsonValue::Undefined));
    static void keep(QJsonArray& records, const QJsonObject& record);

    const SimOptions& opts;
    const Fleet& fleet;
    VideoServer& video;
    const Recordings& recordings;
    PushService* push;
    QHttpServer http;
    quint16 boundPort = 0;
    QJsonArray commands, patrols, alarms;
    std::map<QString, int> patrolReports; // patrol id -> reports received
    int nextPatrol = 1;
};

} // namespace sim
