#pragma once

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
    QStringList users{"demo"};
    bool autoTerminal = true;
    PictureSize pictureSize = PictureSize::Cif;
    // Fault switches for tests.
    bool refuseLogins = false;
    int dropAfterSeconds = 0;
    int replyDelayMs = 0;
};

// Reads the command line; on --help or an error prints to the console and returns false
// with `exitCode` set.
bool parseOptions(const QStringList& args, SimOptions& options, int& exitCode);

} // namespace sim
