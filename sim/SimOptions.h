#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace sim {

enum class PictureSize { Cif, D1, Hd720 };

struct SimOptions {
    QString host = "127.0.0.1";
    quint16 videoPort = 7611;
    quint16 terminalPort = 7612;
    int vehicles = 20;
    quint32 seed = 1;
    QString portsFile;
    // Platform users as NAME:PASSWORD; the video server checks the names only.
    QStringList users{"demo:demo"};
    bool autoTerminal = true;
    // The platform's web service; -1 = not offered.
    int httpPort = -1;
    PictureSize pictureSize = PictureSize::Cif;
    QString replayFile; // a capture every virtual terminal streams instead of its pictures
    // Fault switches for tests.
    bool refuseLogins = false;
    int dropAfterSeconds = 0;
    int replyDelayMs = 0;
    QMap<QString, int> httpStatus; // path -> status code to answer instead
    QStringList httpGarbage;       // paths answered with text that is not JSON
    int httpDelayMs = 0;
    int unreachableEvery = 0; // every Nth vehicle's terminals are not connected
    // The push channel of recording lists; -1 = not offered.
    int wsPort = -1;
    QString wsPush = "list"; // list, none, empty or malformed
    int wsFrameBytes = 0;    // cut pushed messages into frames of this size; 0 = whole
};

// Reads the command line; on --help or an error prints to the console and returns false
// with `exitCode` set.
bool parseOptions(const QStringList& args, SimOptions& options, int& exitCode);

} // namespace sim
