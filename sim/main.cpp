// tavrina-sim: stands in for the fleet's video server and its terminals on one machine.

#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <memory>

extern "C" {
#include <libavutil/log.h>
}

#include "Fleet.h"
#include "PlatformService.h"
#include "PushService.h"
#include "Recordings.h"
#include "ReplayCapture.h"
#include "SimOptions.h"
#include "VideoServer.h"

namespace {

bool writePortsFile(const sim::SimOptions& o, const sim::VideoServer& server,
                    const sim::PlatformService* platform, const sim::PushService* push,
                    const sim::Fleet& fleet) {
    const sim::SimTerminal& first = fleet.vehicles().front().terminals.front();
    QJsonArray channels;
    for (uint8_t c : first.channels)
        channels.append(c);
    QJsonObject ports{{"video_port", server.videoPort()},
                      {"terminal_port", server.terminalPort()},
                      {"host", o.host},
                      {"first_sim", QString::fromStdString(first.sim)},
                      {"first_channels", channels}};
    if (push != nullptr) ports["ws_port"] = push->port();
    if (platform != nullptr) {
        ports["http_port"] = platform->port();
        ports["data_url"] = platform->dataUrl();
        ports["cmd_url"] = platform->commandUrl();
    }
    // Written whole and renamed, so a script polling for it never reads half a file.
    const QString temp = o.portsFile + ".tmp";
    QFile f(temp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    f.write(QJsonDocument(ports).toJson(QJsonDocument::Compact));
    f.close();
    QFile::remove(o.portsFile);
    return QFile::rename(temp, o.portsFile);
}

} // namespace

int main(int argc, char** argv) {
    // Pictures are drawn off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are not the operator's business
    QCoreApplication::setApplicationName("tavrina-sim");

    sim::SimOptions options;
    int exitCode = 0;
    if (!sim::parseOptions(app.arguments(), options, exitCode)) return exitCode;

    const sim::Fleet fleet(options.vehicles, options.seed, options.unreachableEvery);
    sim::VideoServer server(options, fleet);
    QString error;
    if (!options.replayFile.isEmpty()) {
        auto capture = std::make_shared<sim::ReplayCapture>();
        if (!capture->load(options.replayFile, error)) {
            std::fprintf(stderr, "tavrina-sim: cannot replay %s\n", qPrintable(error));
            return 1;
        }
        server.setReplay(std::move(capture));
    }
    if (!server.listen(error)) {
        std::fprintf(stderr, "tavrina-sim: cannot listen: %s\n", qPrintable(error));
        return 1;
    }
    const sim::Recordings recordings(options.seed);
    std::unique_ptr<sim::PushService> push;
    if (options.wsPort >= 0) {
        push = std::make_unique<sim::PushService>(options, fleet, recordings);
        if (!push->listen(error)) {
            std::fprintf(stderr, "tavrina-sim: cannot listen: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::unique_ptr<sim::PlatformService> platform;
    if (options.httpPort >= 0) {
        platform =
            std::make_unique<sim::PlatformService>(options, fleet, server, recordings, push.get());
        if (!platform->listen(error)) {
            std::fprintf(stderr, "tavrina-sim: cannot listen: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("tavrina-sim: platform at %s (commands %s)\n", qPrintable(platform->dataUrl()),
                    qPrintable(platform->commandUrl()));
    }
    if (!options.portsFile.isEmpty() &&
        !writePortsFile(options, server, platform.get(), push.get(), fleet)) {
        std::fprintf(stderr, "tavrina-sim: cannot write %s\n", qPrintable(options.portsFile));
        return 1;
    }
    std::printf("tavrina-sim: video port %u, terminal port %u, %d vehicles; first %s\n",
                server.videoPort(), server.terminalPort(), options.vehicles,
                fleet.vehicles().front().terminals.front().sim.c_str());
    std::fflush(stdout);
    return app.exec();
}
