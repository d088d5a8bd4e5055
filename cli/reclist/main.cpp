// tavrina-reclist: logs in to a platform, listens for a terminal's pushed recording list, asks
// for one day's recordings as playback does, and prints what the terminal holds.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "api/HttpPostDataCont.h"
#include "net/QtTcpClient.h"
#include "net/WS_AVPBList.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace {

constexpr int kPollMs = 30;

struct Args {
    std::string dataUrl, cmdUrl, wsHost, user, password;
    uint16_t wsPort = 0;
    uint8_t projectType = 0;
    media::SIMCH key;
    QDate day;
};

bool parse(QCoreApplication& app, Args& a) {
    QCommandLineParser p;
    p.setApplicationDescription("Prints the recordings a terminal holds for one day.");
    p.addHelpOption();
    p.addOptions({{"data-url", "Data services address.", "URL"},
                  {"cmd-url", "Command service address.", "URL"},
                  {"ws", "Push channel.", "HOST:PORT"},
                  {"user", "Platform user.", "NAME"},
                  {"password", "Password.", "PASS"},
                  {"project-type", "Platform kind 0, 1 or 2.", "N", "0"},
                  {"sim", "Terminal SIM number.", "DIGITS"},
                  {"channel", "Channel (0 = all).", "N", "0"},
                  {"day", "The day.", "yyyy-mm-dd"}});
    p.process(app);
    const QStringList ws = p.value("ws").split(':');
    bool portOk = false, typeOk = false, channelOk = false;
    if (ws.size() == 2) {
        a.wsHost = ws[0].toStdString();
        a.wsPort = static_cast<uint16_t>(ws[1].toUInt(&portOk));
    }
    a.dataUrl = p.value("data-url").toStdString();
    a.cmdUrl = p.value("cmd-url").toStdString();
    a.user = util::utf8ToGbk(p.value("user").toStdString());
    a.password = util::utf8ToGbk(p.value("password").toStdString());
    const unsigned type = p.value("project-type").toUInt(&typeOk);
    a.projectType = static_cast<uint8_t>(type);
    a.key.sim = media::padSim(p.value("sim").toStdString());
    const unsigned channel = p.value("channel").toUInt(&channelOk);
    a.key.channel = static_cast<uint8_t>(channel);
    a.day = QDate::fromString(p.value("day"), "yyyy-MM-dd");
    if (!portOk || !typeOk || type > 2 || !channelOk || channel > 255 || a.dataUrl.empty() ||
        a.cmdUrl.empty() || a.user.empty() || p.value("sim").isEmpty() || !a.day.isValid()) {
        std::fprintf(stderr, "%s", qPrintable(p.helpText()));
        return false;
    }
    return true;
}

void fail(const std::string& gbkStatus) {
    std::fprintf(stderr, "%s\n", util::gbkToUtf8(gbkStatus).c_str());
    QCoreApplication::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Args args;
    if (!parse(app, args)) return 2;

    api::HttpPostDataCont platform;
    platform.dataUrl = args.dataUrl;
    platform.cmdUrl = args.cmdUrl;
    net::WS_AVPBList listener([] { return std::make_unique<net::QtTcpClient>(); },
                              util::systemClock(), platform.log);
    listener.host = args.wsHost;
    listener.port = args.wsPort;
    listener.path = args.projectType == 1 ? "/zdReplyWebSocket/client_" : "/qorl/zdwebsocket/";
    listener.key = args.key;
    const std::string day = args.day.toString("yyMMdd").toStdString();

    platform.OnResult = [&](int opid, bool ok, const std::string& status, const media::SIMCH&) {
        if (!ok) {
            fail(status);
        } else if (opid == 0) {
            listener.Listen();
        }
    };
    listener.OnListResult = [&](const std::string& keyText, bool ok) {
        if (!ok) {
            fail(keyText.empty() ? "连接断开"_gbk : "查询超时"_gbk);
        } else if (keyText.empty()) {
            // Connected: ask as playback does, for the whole day.
            listener.ClearList();
            platform.queryRecordings(args.key, day + "000000", day + "235959");
        } else {
            for (const api::AVResource& r : listener.recordings())
                std::printf("ch=%u start=%s end=%s type=%u stream=%u memory=%u size=%d\n",
                            r.key.channel, r.start.c_str(), r.end.c_str(), r.type, r.streamType,
                            r.memoryType, r.fileSize);
            std::printf("summary recordings=%zu\n", listener.recordings().size());
            std::fflush(stdout);
            listener.OnListResult = nullptr;
            QCoreApplication::exit(0);
        }
    };
    platform.login(args.projectType, args.user, args.password);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        platform.runCompletions();
        listener.Poll();
    });
    poll.start(kPollMs);
    const int code = app.exec();
    listener.OnListResult = nullptr;
    listener.Reset();
    return code;
}
