// tavrina-capture: logs in to a video server, opens one channel, and writes every raw packet
// of that channel to a capture file for the given number of seconds.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "media/SIMCH.h"
#include "net/QtTcpClient.h"
#include "net/RTP_Cont.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace {

constexpr int kPollMs = 30;
constexpr int kLoginTimeoutMs = 15000;
constexpr int kCloseWaitMs = 2000;
const std::string kVideoPassword = "mqv908172";

struct Args {
    QString host;
    uint16_t port = 0;
    QString user;
    media::SIMCH key;
    int seconds = 10;
    QString out;
};

bool parse(QCoreApplication& app, Args& a) {
    QCommandLineParser p;
    p.setApplicationDescription("Captures one live channel of a video server to a file.");
    p.addHelpOption();
    p.addOptions({{"server", "Video server.", "HOST:PORT"},
                  {"user", "Platform user name.", "NAME"},
                  {"sim", "Terminal SIM number.", "DIGITS"},
                  {"channel", "Logical channel.", "N"},
                  {"seconds", "How long to capture.", "S", "10"},
                  {"out", "Capture file to write.", "FILE"}});
    p.process(app);
    const QStringList server = p.value("server").split(':');
    bool portOk = false, channelOk = false, secondsOk = false;
    if (server.size() == 2) {
        a.host = server[0];
        a.port = static_cast<uint16_t>(server[1].toUInt(&portOk));
    }
    a.user = p.value("user");
    a.key.sim = media::padSim(p.value("sim").toStdString());
    const unsigned channel = p.value("channel").toUInt(&channelOk);
    a.key.channel = static_cast<uint8_t>(channel);
    a.seconds = p.value("seconds").toInt(&secondsOk);
    a.out = p.value("out");
    if (!portOk || a.user.isEmpty() || p.value("sim").isEmpty() || !channelOk || channel > 255 ||
        !secondsOk || a.seconds < 0 || a.out.isEmpty()) {
        std::fprintf(stderr, "%s", qPrintable(p.helpText()));
        return false;
    }
    return true;
}

std::string utf8(const std::string& gbk) {
    return util::gbkToUtf8(gbk);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Args args;
    if (!parse(app, args)) return 2;

    QFile out(args.out);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "%s: %s\n", utf8("创建文件失败。"_gbk).c_str(), qPrintable(args.out));
        return 1;
    }

    net::RTP_Cont cont([] { return std::make_unique<net::QtTcpClient>(); }, util::systemClock());
    cont.serverAddress = args.host.toStdString();
    cont.serverPort = args.port;
    qint64 written = 0;
    bool opened = false;
    cont.OnPacket = [&](const media::RTP_data& p) {
        if (p.meta.simch != args.key) return;
        out.write(p.data.data(), static_cast<qint64>(p.data.size()));
        written += static_cast<qint64>(p.data.size());
    };
    bool done = false;
    auto finish = [&](int code) {
        if (done) return;
        done = true;
        out.close();
        std::printf("captured %lld bytes to %s\n", static_cast<long long>(written),
                    qPrintable(args.out));
        std::fflush(stdout);
        QCoreApplication::exit(code);
    };
    cont.OnReply = [&](const media::SIMCH&, uint16_t code, bool ok, const std::string& text) {
        std::printf("reply code=%u result=%s text=%s\n", code, ok ? "ok" : "fail",
                    utf8(text).c_str());
        std::fflush(stdout);
        if ((code == net::RTP_Cont::kLogin || code == net::RTP_Cont::kAnswer) && !ok) {
            std::fprintf(stderr, "%s\n", utf8(text).c_str());
            finish(1);
        } else if (code == net::RTP_Cont::kAnswer) {
            cont.RequestChannel(args.key, true, 0, 0);
        } else if (code == net::RTP_Cont::kOpen) {
            if (!ok) {
                std::fprintf(stderr, "%s\n", utf8(text).c_str());
                finish(1);
                return;
            }
            opened = true;
            QTimer::singleShot(args.seconds * 1000, &app, [&] {
                cont.RequestChannel(args.key, false, 0, 0);
                QTimer::singleShot(kCloseWaitMs, &app, [&] { finish(0); });
            });
        } else if (code == net::RTP_Cont::kClose) {
            finish(0);
        }
    };
    QTimer::singleShot(kLoginTimeoutMs, &app, [&] {
        if (opened) return;
        std::fprintf(stderr, "%s\n", utf8("视频服务器未连接"_gbk).c_str());
        finish(1);
    });

    cont.Connect(args.user.toStdString(), kVideoPassword);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { cont.Poll(); });
    poll.start(kPollMs);
    const int code = app.exec();
    cont.Disconnect();
    return code;
}
