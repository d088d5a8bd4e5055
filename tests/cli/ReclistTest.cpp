// tavrina-reclist against tavrina-sim's platform and push channel.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "../net/SimProcess.h"

using tavrina_test::SimProcess;

namespace {

struct Result {
    int status = -1;
    QString out;
};

Result reclist(const SimProcess& sim, const QString& password, const QString& day = "2026-12-09") {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(TAVRINA_RECLIST,
            {"--data-url", QString::fromStdString(sim.dataUrl), "--cmd-url",
             QString::fromStdString(sim.cmdUrl), "--ws", QString("127.0.0.1:%1").arg(sim.wsPort),
             "--user", "demo", "--password", password, "--sim",
             QString::fromStdString(sim.firstSim), "--day", day});
    Result r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAll());
    return r;
}

} // namespace

TEST(Reclist, PrintsTheDaysRecordings) {
    SimProcess sim({"--http-port", "0", "--ws-port", "0", "--vehicles", "3"});
    ASSERT_TRUE(sim.running());
    const Result r = reclist(sim, "demo");
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QStringList lines = r.out.trimmed().split('\n');
    ASSERT_GE(lines.size(), 5);
    static const QRegularExpression line(
        "^ch=\\d+ start=261209\\d{6} end=261209\\d{6} type=\\d+ stream=\\d+ memory=\\d+ "
        "size=\\d+$");
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(line.match(lines[i]).hasMatch()) << lines[i].toStdString();
    EXPECT_EQ(lines.last(), QString("summary recordings=%1").arg(lines.size() - 1));
}

TEST(Reclist, EmptyListAndRefusedLogin) {
    SimProcess sim({"--http-port", "0", "--ws-port", "0", "--vehicles", "3", "--ws-push", "empty"});
    ASSERT_TRUE(sim.running());
    Result r = reclist(sim, "demo");
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.trimmed(), "summary recordings=0");

    r = reclist(sim, "wrong");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("用户名或密码错误")) << r.out.toStdString();
}
