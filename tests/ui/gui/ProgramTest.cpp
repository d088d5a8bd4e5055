// The tavrina program itself: an unattended start (auto login, last pictures) against
// tavrina-sim, watched through --stats, and its command line.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <filesystem>

#include "../../net/SimProcess.h"
#include "api/CJvalue.h"
#include "settings/ConfSet.h"
#include "ui/LastPictures.h"
#include "util/GbkText.h"

using namespace util::literals;
using tavrina_test::SimProcess;

namespace {

namespace fs = std::filesystem;

const QString kProgram = QString(TAVRINA_BINARY_DIR) + "/bin/tavrina";

QProcessEnvironment offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

TEST(Program, UnattendedStartReopensTheLastPictures) {
    SimProcess sim({"--http-port", "0", "--ws-port", "0", "--vehicles", "6"});
    ASSERT_TRUE(sim.running());
    const fs::path home =
        fs::temp_directory_path() / ("tavrina-program-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    fs::copy_file(std::string(TAVRINA_BINARY_DIR) + "/bin/Zorvu.cfset", home / "Zorvu.cfset");
    {
        settings::ConfSet s;
        s.Setup(home.string() + "/", "Zorvu");
        ASSERT_TRUE(s.Load());
        s.SetStr("RTP服务器IP"_gbk, "127.0.0.1");
        s.SetInt("RTP服务器端口"_gbk, uint32_t{sim.videoPort});
        s.SetStr("POST_Data_url"_gbk, sim.dataUrl);
        s.SetStr("POST_CMD_url"_gbk, sim.cmdUrl);
        s.SetInt("WS监听端口"_gbk, uint32_t{sim.wsPort});
        s.SetStr("用户名"_gbk, "demo");
        s.SetStr("密码"_gbk, "demo");
        s.SetInt("自动登录"_gbk, 1u);
        s.SetInt("无操作关闭视频"_gbk, 0u);
        ui::LastPictures last;
        last.mode = 2;
        for (uint8_t ch = 1; ch <= 4; ++ch)
            last.entries.push_back({{sim.firstSim, ch}, "", static_cast<uint8_t>(ch)});
        s.SetStr("上次画面"_gbk, last.write());
        ASSERT_TRUE(s.Save());
    }
    const QString stats = QString::fromStdString((home / "stats.jsonl").string());
    QProcess client;
    client.setProcessEnvironment(offscreen());
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.start(kProgram, {"--home", QString::fromStdString(home.string()), "--stats", stats});
    ASSERT_TRUE(client.waitForStarted(5000));

    // The storage root does not exist: the box saying so stays open unanswered, and the
    // pictures must play regardless (a box must not hold the main loop).
    // Every stored picture plays, without any input. (The simulator's first vehicle has four
    // channels only when it drew them; the pictures it has must all move.)
    int playing = 0, pictures = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000 && (pictures == 0 || playing < pictures)) {
        QTest::qWait(500);
        QFile f(stats);
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            api::CJvalue line;
            if (it->isEmpty() || !line.parse(it->toStdString())) continue;
            const api::CJvalue& list = line.get("pictures");
            pictures = static_cast<int>(list.childCount());
            playing = 0;
            for (const auto& [k, p] : list.children())
                playing += p.get("shown").number() > 0;
            break;
        }
    }
    client.terminate();
    client.waitForFinished(10000);
    const size_t expected = std::min<size_t>(4, sim.firstChannels);
    EXPECT_EQ(pictures, static_cast<int>(expected));
    EXPECT_EQ(playing, pictures);
    if (!::testing::Test::HasFailure()) fs::remove_all(home);
}

TEST(Program, CommandLine) {
    QProcess p;
    p.setProcessEnvironment(offscreen());
    p.start(kProgram, {"--version"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("tavrina "));
    p.start(kProgram, {"--bogus"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("usage"));
}

} // namespace
