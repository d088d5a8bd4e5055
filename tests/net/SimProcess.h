#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "QtLoop.h"
#include <string>

namespace tavrina_test {

// tavrina-sim on loopback, on ports of the system's choosing.
class SimProcess {
public:
    explicit SimProcess(QStringList extraArgs = {}) {
        qtApp();
        const QString ports = dir.filePath("ports.json");
        QStringList args{"--video-port", "0", "--terminal-port", "0", "--ports-file", ports};
        args += extraArgs;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.path());
        process.setProcessEnvironment(env);
        process.start(TAVRINA_SIM, args);
        process.waitForStarted(5000);
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(ports) && t.elapsed() < 30000 && process.state() == QProcess::Running)
            QThread::msleep(20);
        QFile f(ports);
        if (f.open(QIODevice::ReadOnly)) {
            const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
            videoPort = static_cast<uint16_t>(o["video_port"].toInt());
            terminalPort = static_cast<uint16_t>(o["terminal_port"].toInt());
            firstSim = o["first_sim"].toString().toStdString();
            firstChannel = static_cast<uint8_t>(o["first_channels"].toArray().at(0).toInt());
            firstChannels = static_cast<size_t>(o["first_channels"].toArray().size());
            dataUrl = o["data_url"].toString().toStdString();
            cmdUrl = o["cmd_url"].toString().toStdString();
            wsPort = static_cast<uint16_t>(o["ws_port"].toInt());
        }
    }
    ~SimProcess() {
        process.kill();
        process.waitForFinished(3000);
    }
    bool running() const { return process.state() == QProcess::Running && videoPort != 0; }

    uint16_t videoPort = 0;
    uint16_t terminalPort = 0;
    std::string firstSim;
    uint8_t firstChannel = 0;
    size_t firstChannels = 0;    // the first vehicle's channels, numbered from firstChannel
    std::string dataUrl, cmdUrl; // with the platform's web service
    uint16_t wsPort = 0;         // with the push channel

private:
    QTemporaryDir dir;
    QProcess process;
};

} // namespace tavrina_test
