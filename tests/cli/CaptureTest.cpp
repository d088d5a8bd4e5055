// tavrina-capture against tavrina-sim: the capture file holds video that ffprobe decodes.

#include <gtest/gtest.h>

#include <QProcess>

#include "../net/SimProcess.h"

using tavrina_test::SimProcess;

namespace {

struct Result {
    int status = -1;
    QString out;
};

Result run(const QString& program, const QStringList& args, int timeoutMs = 20000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAll());
    return r;
}

} // namespace

TEST(Capture, WritesAPlayableCaptureFromTheSimulator) {
    SimProcess sim;
    ASSERT_TRUE(sim.running());
    QTemporaryDir dir;
    const QString capture = dir.filePath("live.rtp");
    const QString server = QString("127.0.0.1:%1").arg(sim.videoPort);
    const Result cap =
        run(TAVRINA_CAPTURE,
            {"--server", server, "--user", "demo", "--sim", QString::fromStdString(sim.firstSim),
             "--channel", QString::number(sim.firstChannel), "--seconds", "2", "--out", capture});
    ASSERT_EQ(cap.status, 0) << cap.out.toStdString();
    EXPECT_TRUE(cap.out.contains("reply code=1 result=ok text=0")) << cap.out.toStdString();
    EXPECT_TRUE(cap.out.contains("reply code=2 result=ok text=1")) << cap.out.toStdString();

    const QString h264 = dir.filePath("live.h264");
    const Result dump = run(TAVRINA_RTPDUMP, {"--frames", "--h264", h264, capture});
    ASSERT_EQ(dump.status, 0);
    EXPECT_TRUE(dump.out.contains("summary packets=")) << dump.out.toStdString();
    const Result probe =
        run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                        "stream=width,height,nb_read_frames", "-of", "csv=p=0", h264});
    ASSERT_EQ(probe.status, 0) << probe.out.toStdString();
    const QStringList fields = probe.out.trimmed().split(',');
    ASSERT_EQ(fields.size(), 3) << probe.out.toStdString();
    EXPECT_EQ(fields[0], "352");
    EXPECT_EQ(fields[1], "288");
    EXPECT_GT(fields[2].toInt(), 20);
}

TEST(Capture, RefusedLoginExitsWithTheReply) {
    SimProcess sim({"--refuse-logins"});
    ASSERT_TRUE(sim.running());
    QTemporaryDir dir;
    const Result cap = run(TAVRINA_CAPTURE, {"--server", QString("127.0.0.1:%1").arg(sim.videoPort),
                                             "--user", "demo", "--sim", "1", "--channel", "1",
                                             "--seconds", "1", "--out", dir.filePath("x.rtp")});
    EXPECT_EQ(cap.status, 1);
    EXPECT_TRUE(cap.out.contains("登录被拒绝")) << cap.out.toStdString();
}
