#include "PlatformService.h"

#include <QDateTime>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QTimer>
#include <memory>

#include "PushService.h"
#include "Recordings.h"
#include "VideoServer.h"
#include "media/SIMCH.h"

namespace sim {

namespace {

const QString kNotConnected = QString::fromUtf8("设备未连接TCP服务！");
const QString kAccepted = QString::fromUtf8("下发成功");

QString stamp(const QDateTime& t) {
    return t.toString("yyyy-MM-dd hh:mm:ss");
}

QDateTime fromTwelveDigits(const QString& text) {
    return QDateTime::fromString("20" + text, "yyyyMMddhhmmss");
}

} // namespace

PlatformService::PlatformService(const SimOptions& options, const Fleet& fleet, VideoServer& video,
                                 const Recordings& recordings, PushService* push)
    : opts(options), fleet(fleet), video(video), recordings(recordings), push(push) {
    addPost(QString(kDataBase) + "login", &PlatformService::login);
    addPost(QString(kDataBase) + "carTree", &PlatformService::vehicleList);
    addPost(QString(kDataBase) + "accstatus", &PlatformService::states);
    addPost(QString(kDataBase) + "videoxc_client", &PlatformService::patrol);
    addPost(QString(kDataBase) + "uploadAlermSpxc", &PlatformService::alarm);
    addPost(kCommandPath, &PlatformService::command);
    addInspection("/sim/commands", &commands);
    addInspection("/sim/patrols", &patrols);
    addInspection("/sim/alarms", &alarms);
}

bool PlatformService::listen(QString& error) {
    const int port = http.listen(QHostAddress(opts.host), static_cast<quint16>(opts.httpPort));
    if (port <= 0) {
        error = "http port: cannot listen";
        return false;
    }
    boundPort = static_cast<quint16>(port);
    return true;
}

QString PlatformService::dataUrl() const {
    return QString("http://%1:%2%3").arg(opts.host).arg(boundPort).arg(kDataBase);
}

QString PlatformService::commandUrl() const {
    return QString("http://%1:%2%3").arg(opts.host).arg(boundPort).arg(kCommandPath);
}

void PlatformService::addPost(const QString& path, Handler handler) {
    http.route(
        path, QHttpServerRequest::Method::Post,
        [this, path, handler](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            answer(path, request.body(), handler, std::move(responder));
        });
}

void PlatformService::addInspection(const QString& path, const QJsonArray* records) {
    http.route(path, QHttpServerRequest::Method::Get, [records] {
        return QHttpServerResponse("application/json",
                                   QJsonDocument(*records).toJson(QJsonDocument::Compact));
    });
}

void PlatformService::answer(const QString& path, const QByteArray& body, Handler handler,
                             QHttpServerResponder&& responder) {
    const QString name = path.section('/', -1);
    QByteArray reply;
    QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
    QByteArray type = "application/json";
    const auto fault = [&](const QString& key) { return key == path || key == name; };
    int forced = 0;
    for (auto it = opts.httpStatus.begin(); it != opts.httpStatus.end(); ++it)
        if (fault(it.key())) forced = it.value();
    if (forced != 0) {
        status = static_cast<QHttpServerResponder::StatusCode>(forced);
        reply = "status set by --http-status";
        type = "text/plain";
    } else if (std::any_of(opts.httpGarbage.begin(), opts.httpGarbage.end(), fault)) {
        reply = "<html><body>service unavailable</body></html>";
        type = "text/html";
    } else {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        const QJsonObject result =
            doc.isObject() ? (this->*handler)(doc.object())
                           : envelope(1, QString::fromUtf8("请求数据错误: ") + error.errorString());
        reply = QJsonDocument(result).toJson(QJsonDocument::Compact);
    }
    if (opts.httpDelayMs <= 0) {
        responder.write(reply, type, status);
        return;
    }
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QTimer::singleShot(opts.httpDelayMs, this,
                       [held, reply, type, status] { held->write(reply, type, status); });
}

QJsonObject PlatformService::envelope(int code, const QString& msg, const QJsonValue& obj) {
    QJsonObject o{{"code", code}, {"msg", msg}};
    if (!obj.isUndefined()) o["obj"] = obj;
    return o;
}

void PlatformService::keep(QJsonArray& records, const QJsonObject& record) {
    if (records.size() >= kMaxRecords) records.removeFirst();
    records.append(record);
}

QJsonObject PlatformService::login(const QJsonObject& body) {
    const QString user = body["username"].toString();
    const QString password = body["password"].toString();
    for (qsizetype i = 0; i < opts.users.size(); ++i) {
        if (opts.users[i] == user + ":" + password)
            return envelope(0, QString::fromUtf8("登录成功"),
                            QJsonObject{{"deptId", "C1"}, {"id", QString::number(i + 1)}});
    }
    return envelope(1, QString::fromUtf8("用户名或密码错误"));
}

QJsonObject PlatformService::vehicleList(const QJsonObject&) {
    QJsonArray list;
    for (const SimOrganisation& o : fleet.organisations())
        list.append(
            QJsonObject{{"id", o.id}, {"pId", o.parentId}, {"name", o.name}, {"dept", o.level}});
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const SimVehicle& v : fleet.vehicles()) {
        QStringList sims;
        for (const SimTerminal& t : v.terminals)
            sims << QString::fromStdString(media::stripSim(t.sim));
        list.append(QJsonObject{{"id", v.id},
                                {"pId", v.orgId},
                                {"name", v.plate},
                                {"dept", 3},
                                {"isOnline", fleet.online(v, now) ? 1 : 0},
                                {"sjhm", sims.join(';')}});
        for (const SimTerminal& t : v.terminals) {
            const QString sim = QString::fromStdString(media::stripSim(t.sim));
            for (size_t c = 0; c < t.channels.size(); ++c)
                list.append(
                    QJsonObject{{"id", QString("%1_%2_%3").arg(v.id, sim).arg(t.channels[c])},
                                {"pId", v.id},
                                {"name", t.titles[c]},
                                {"dept", 4},
                                {"sptd", t.channels[c]},
                                {"sjhm", sim}});
        }
    }
    return envelope(0, QString::fromUtf8("查询成功"), list);
}

QJsonObject PlatformService::states(const QJsonObject& body) {
    const QDateTime now = QDateTime::currentDateTime();
    QJsonArray out;
    for (const QJsonValue& value : body["sjhms"].toArray()) {
        const std::string sim = media::padSim(value.toString().toStdString());
        const SimVehicle* v = fleet.vehicleOf(sim);
        if (v == nullptr) continue;
        const bool online = fleet.online(*v, now.toSecsSinceEpoch());
        QJsonObject state{{"sjhm", value.toString()},
                          {"acc", online ? 1 : 0},
                          {"gpsacc", online ? 1 : 0},
                          {"gpswzhbsj", stamp(now.addSecs(-5))}};
        if (online) state["spwzhbsj"] = stamp(now.addSecs(-10));
        out.append(state);
    }
    return envelope(0, QString::fromUtf8("查询成功"), out);
}

QJsonObject PlatformService::patrol(const QJsonObject& body) {
    QString id = body["lxfid"].toString();
    if (id.isEmpty() || patrolReports.count(id) == 0)
        id = QString("XC%1").arg(nextPatrol++, 6, 10, QChar('0'));
    const int reports = ++patrolReports[id];
    QJsonObject record = body;
    record["lxfid"] = id;
    record["reports"] = reports;
    record["received"] = stamp(QDateTime::currentDateTime());
    keep(patrols, record);
    return envelope(0, QString::fromUtf8("上报成功"), QJsonObject{{"lxfid", id}});
}

QJsonObject PlatformService::alarm(const QJsonObject& body) {
    QJsonObject record = body;
    record["received"] = stamp(QDateTime::currentDateTime());
    keep(alarms, record);
    return envelope(0, QString::fromUtf8("上传成功"));
}

QJsonObject PlatformService::command(const QJsonObject& body) {
    const QString type = body["operateType"].toString();
    const media::SIMCH key{media::padSim(body["terid"].toString().toStdString()),
                           static_cast<uint8_t>(body["chl"].toInt())};
    QJsonObject record = body;
    record["received"] = stamp(QDateTime::currentDateTime());
    const SimVehicle* vehicle = fleet.vehicleOf(key.sim);
    QJsonObject reply;
    // A recording-list query for channel 0 asks for every channel of the terminal.
    const bool known = video.knows(key) || (type == "2" && key.channel == 0);
    if (vehicle == nullptr || !known) {
        reply = envelope(1, QString::fromUtf8("终端不存在"));
    } else if (vehicle->unreachable) {
        reply = envelope(1, kNotConnected);
    } else if (type == "1") { // live play
        reply = video.startStream(key) ? envelope(0, kAccepted) : envelope(1, kNotConnected);
    } else if (type == "4") { // live control: 0 close, 1 switch stream, 2 pause, 3 resume
        const int instruction = body["instruction"].toInt();
        if (instruction == 0) video.stopStream(key);
        if (instruction == 2 || instruction == 3) video.pauseStream(key, instruction == 2);
        reply = envelope(0, kAccepted);
    } else if (type == "2") { // recording list: the terminal's answer is pushed a moment later
        const QDateTime from = fromTwelveDigits(body["starttime"].toString());
        const QDateTime to = fromTwelveDigits(body["endtime"].toString());
        if (push != nullptr)
            QTimer::singleShot(200, this,
                               [this, key, from, to] { push->answerQuery(key, from, to); });
        reply = envelope(0, kAccepted);
    } else if (type == "3") { // playback of a recorded period
        const QDateTime start = fromTwelveDigits(body["starttime"].toString());
        const QDateTime end = fromTwelveDigits(body["endtime"].toString());
        const SimTerminal* terminal = fleet.findTerminal(key.sim);
        if (!start.isValid() || !end.isValid() || end <= start)
            reply = envelope(1, QString::fromUtf8("回放时间错误"));
        else if (recordings.find(*terminal, key.channel, start, end).empty())
            reply = envelope(1, QString::fromUtf8("无录像"));
        else
            reply = video.startPlayback(key, start, end) ? envelope(0, kAccepted)
                                                         : envelope(1, kNotConnected);
    } else if (type == "5") { // playback control: 0 play, 1 pause, 2 end
        const int control = body["playbackControl"].toInt();
        if (control == 2) video.stopStream(key);
        if (control == 0 || control == 1) video.pauseStream(key, control == 1);
        reply = envelope(0, kAccepted);
    } else {
        reply = envelope(1, QString::fromUtf8("未知指令"));
    }
    record["code"] = reply["code"];
    record["msg"] = reply["msg"];
    keep(commands, record);
    return reply;
}

} // namespace sim
