#include "SimOptions.h"

#include <QCommandLineParser>
#include <cstdio>

namespace sim {

bool parseOptions(const QStringList& args, SimOptions& o, int& exitCode) {
    QCommandLineParser p;
    p.setApplicationDescription(
        "tavrina-sim: a stand-in for the fleet's video server and its terminals.\n"
        "Clients log in on the video port; terminals (virtual ones, or anything that pushes\n"
        "stream packets to the terminal port) are relayed to the clients that open them.");
    p.addHelpOption();
    const QCommandLineOption host("host", "Address to bind (default 127.0.0.1).", "ADDR", o.host);
    const QCommandLineOption video("video-port", "Port for clients (0 = any free).", "N", "7611");
    const QCommandLineOption terminal("terminal-port", "Port where terminals push streams.", "N",
                                      "7612");
    const QCommandLineOption vehicles("vehicles", "Vehicles in the generated fleet.", "N", "20");
    const QCommandLineOption seed("seed", "Seed of the generated fleet and challenges.", "N", "1");
    const QCommandLineOption ports("ports-file", "Write the bound ports here as JSON.", "PATH");
    const QCommandLineOption user("user",
                                  "A platform user NAME:PASSWORD (repeatable; default "
                                  "demo:demo).",
                                  "NAME:PASSWORD");
    const QCommandLineOption http("http-port",
                                  "Offer the platform's web service on this port "
                                  "(0 = any free).",
                                  "N");
    const QCommandLineOption httpStatus("http-status",
                                        "Answer PATH with status CODE "
                                        "(repeatable).",
                                        "PATH:CODE");
    const QCommandLineOption httpGarbage("http-garbage",
                                         "Answer PATH with text that is not "
                                         "JSON (repeatable).",
                                         "PATH");
    const QCommandLineOption httpDelay("http-delay", "Delay every platform reply by MS.", "MS",
                                       "0");
    const QCommandLineOption unreachable("unreachable-every",
                                         "Every Nth vehicle's terminals "
                                         "answer that they are not connected.",
                                         "N", "0");
    const QCommandLineOption autoTerminal(
        "auto-terminal", "Start a virtual terminal when a client opens it: on or off.", "on|off",
        "on");
    const QCommandLineOption size("picture", "Picture size: cif, d1 or 720p.", "SIZE", "cif");
    const QCommandLineOption replay("replay",
                                    "Every virtual terminal streams this capture file (looped, "
                                    "keyed to its own SIM and channel) instead of drawn pictures.",
                                    "FILE");
    const QCommandLineOption refuse("refuse-logins", "Refuse every login.");
    const QCommandLineOption dropAfter("drop-after", "Drop each client N seconds after login.", "N",
                                       "0");
    const QCommandLineOption delay("reply-delay", "Delay every control reply by MS.", "MS", "0");
    const QCommandLineOption ws("ws-port",
                                "Offer the push channel of recording lists on this "
                                "port (0 = any free).",
                                "N");
    const QCommandLineOption wsPush("ws-push",
                                    "What a recording-list query pushes: list, none, "
                                    "empty or malformed.",
                                    "KIND", "list");
    const QCommandLineOption wsFrames("ws-frame-bytes",
                                      "Cut pushed messages into frames of N "
                                      "bytes.",
                                      "N", "0");
    p.addOptions({ws, wsPush, wsFrames, replay});
    p.addOptions({host, video, terminal, vehicles, seed, ports, user, autoTerminal, size, refuse,
                  dropAfter, delay, http, httpStatus, httpGarbage, httpDelay, unreachable});
    if (!p.parse(args)) {
        std::fprintf(stderr, "%s\n", qPrintable(p.errorText()));
        exitCode = 2;
        return false;
    }
    if (p.isSet("help")) {
        std::printf("%s", qPrintable(p.helpText()));
        exitCode = 0;
        return false;
    }
    bool ok = true;
    auto number = [&](const QCommandLineOption& opt, int low, int high) {
        bool good = false;
        const int v = p.value(opt).toInt(&good);
        if (!good || v < low || v > high) {
            std::fprintf(stderr, "bad value for --%s: %s\n", qPrintable(opt.names().first()),
                         qPrintable(p.value(opt)));
            ok = false;
        }
        return v;
    };
    o.host = p.value(host);
    o.videoPort = static_cast<quint16>(number(video, 0, 65535));
    o.terminalPort = static_cast<quint16>(number(terminal, 0, 65535));
    o.vehicles = number(vehicles, 1, 100000);
    o.seed = static_cast<quint32>(number(seed, 0, 2147483647));
    o.portsFile = p.value(ports);
    if (p.isSet(user)) {
        o.users.clear();
        for (const QString& u : p.values(user))
            o.users << (u.contains(':') ? u : u + ":" + u);
    }
    if (p.isSet(http)) o.httpPort = number(http, 0, 65535);
    // With the platform, terminals stream when live play tells them to.
    o.autoTerminal = p.isSet(autoTerminal) ? p.value(autoTerminal) != "off" : o.httpPort < 0;
    for (const QString& rule : p.values(httpStatus)) {
        const qsizetype colon = rule.lastIndexOf(':');
        bool good = false;
        const int code = colon > 0 ? rule.mid(colon + 1).toInt(&good) : 0;
        if (!good || code < 100 || code > 599) {
            std::fprintf(stderr, "bad value for --http-status: %s\n", qPrintable(rule));
            ok = false;
        } else {
            o.httpStatus[rule.left(colon)] = code;
        }
    }
    o.httpGarbage = p.values(httpGarbage);
    o.httpDelayMs = number(httpDelay, 0, 600000);
    o.unreachableEvery = number(unreachable, 0, 1000000);
    if (p.isSet(ws)) o.wsPort = number(ws, 0, 65535);
    o.wsPush = p.value(wsPush);
    if (!QStringList{"list", "none", "empty", "malformed"}.contains(o.wsPush)) {
        std::fprintf(stderr, "bad value for --ws-push: %s\n", qPrintable(o.wsPush));
        ok = false;
    }
    o.wsFrameBytes = number(wsFrames, 0, 1 << 24);
    const QString s = p.value(size);
    if (s == "cif") {
        o.pictureSize = PictureSize::Cif;
    } else if (s == "d1") {
        o.pictureSize = PictureSize::D1;
    } else if (s == "720p") {
        o.pictureSize = PictureSize::Hd720;
    } else {
        std::fprintf(stderr, "bad value for --picture: %s\n", qPrintable(s));
        ok = false;
    }
    o.replayFile = p.value(replay);
    o.refuseLogins = p.isSet(refuse);
    o.dropAfterSeconds = number(dropAfter, 0, 86400);
    o.replyDelayMs = number(delay, 0, 60000);
    exitCode = ok ? 0 : 2;
    return ok;
}

} // namespace sim
