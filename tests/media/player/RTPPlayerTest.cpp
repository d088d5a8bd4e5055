// The channel player without real pictures: states, the clock, the wait for a terminal, byte
// counts and which audio goes where. Real streams are in the integration suite.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "media/AudioCodec.h"
#include "media/RTPPlayer.h"
#include "util/Clock.h"
#include "util/GbkText.h"

namespace fs = std::filesystem;
using namespace util::literals;
using media::RTPPlayer;

namespace {

class BrokenCounter : public media::PlayTimer::Counter {
public:
    int64_t frequency() const override { return 999; } // under one count per millisecond
    int64_t count() const override { return 0; }
};

media::RTPmeta meta(uint8_t dataType, uint8_t pt, uint32_t ts, uint32_t length) {
    media::RTPmeta h;
    h.dataType = dataType;
    h.PT = pt;
    h.timestamp = ts;
    h.length = length;
    return h;
}

class Player : public ::testing::Test {
protected:
    util::FakeClock clock{5};
    media::ClockCounter counter{clock};
    RTPPlayer player{counter};

    // Moves the clock in 30 ms steps, as the view's timer does, ticking each time.
    void run(uint64_t ms, bool force = true) {
        for (uint64_t t = 0; t < ms; t += 30) {
            clock.advanceMs(30);
            player.Tick(force);
        }
    }
};

TEST_F(Player, StartAndStop) {
    EXPECT_EQ(player.state, RTPPlayer::Stopped);
    player.Input(meta(media::kVideoI, media::kPtH264, 0, 10), "0123456789");
    ASSERT_TRUE(player.Start());
    EXPECT_EQ(player.state, RTPPlayer::Playing);
    EXPECT_EQ(player.buffer.frameCount(), 0u); // the stopped player took nothing
    EXPECT_TRUE(player.statusChanged);
    player.Input(meta(media::kVideoI, media::kPtH264, 0, 10), "0123456789");
    EXPECT_EQ(player.buffer.frameCount(), 1u);
    player.Stop();
    EXPECT_EQ(player.state, RTPPlayer::Stopped);
    EXPECT_TRUE(player.statusText.empty());
    player.Input(meta(media::kVideoI, media::kPtH264, 40, 10), "0123456789");
    player.Tick(true);
    EXPECT_EQ(player.byteCount, 40u);

    // Reopening starts from an empty buffer.
    ASSERT_TRUE(player.Start());
    EXPECT_EQ(player.buffer.frameCount(), 0u);
    EXPECT_EQ(player.byteCount, 0u);
}

TEST_F(Player, UnusableClockKeepsPlayerStopped) {
    BrokenCounter broken;
    RTPPlayer p(broken);
    EXPECT_FALSE(p.Start());
    EXPECT_EQ(p.errorText, "取计时器频率失败"_gbk);
    EXPECT_EQ(p.state, RTPPlayer::Stopped);
}

TEST_F(Player, TerminalThatNeverAnswersTimesOut) {
    ASSERT_TRUE(player.Start());
    EXPECT_EQ(player.statusText, "画面打开"_gbk);
    player.waitSeconds = 10;
    player.statusChanged = false;
    run(9000);
    EXPECT_EQ(player.statusText, "画面打开"_gbk);
    EXPECT_FALSE(player.statusChanged);
    run(1500);
    EXPECT_EQ(player.statusText, "终端响应超时"_gbk);
    EXPECT_TRUE(player.statusChanged);
    EXPECT_EQ(player.waitSeconds, 0);
    run(3000);
    EXPECT_EQ(player.waitSeconds, 0);
    EXPECT_EQ(player.statusText, "终端响应超时"_gbk);
}

TEST_F(Player, ByteCountCarriesPacketOverheads) {
    ASSERT_TRUE(player.Start());
    clock.advanceMs(100);
    for (int i = 0; i < 25; ++i) {
        player.Input(meta(media::kVideoP, media::kPtH264, 40u * i, 4000), std::string(4000, 'v'));
        player.Input(meta(media::kAudio, media::kPtG711A, 40u * i, 168), std::string(168, 'a'));
    }
    player.Input(meta(media::kTransparent, 0, 0, 2), "td");
    EXPECT_EQ(player.byteCount, 25u * 4030 + 25 * 194 + 20);
    EXPECT_GT(player.stats.firstDataMs, 0u);
    clock.advanceMs(900);
    player.Tick(true);
    EXPECT_EQ(player.stats.bytes, 25u * 4030 + 25 * 194 + 20);
    EXPECT_EQ(player.byteCount, 0u);
}

TEST_F(Player, AudioOfKnownTypesGoesToSpeakerWhileOn) {
    ASSERT_TRUE(player.Start());
    std::vector<std::pair<uint8_t, size_t>> heard; // payload type order is lost: sizes tell
    player.OnAudio = [&](std::string_view pcm) { heard.emplace_back(0, pcm.size()); };
    player.audioOn = true;
    media::AdpcmState st;
    const std::string adpcm = media::EncodeAdpcm(std::string(640, '\0'), st); // 320 samples
    const std::string alaw(200, '\xD5');                                      // 200 samples
    const std::string other(100, '\xD5');                                     // PT 7
    for (uint32_t t = 0; t < 1200; t += 40) {
        player.Input(meta(media::kVideoP, 99, t, 4), "xxxx"); // moves the video clock
        player.Input(meta(media::kAudio, media::kPtAdpcm, t, 0), adpcm);
        player.Input(meta(media::kAudio, media::kPtG711A, t, 0), alaw);
        player.Input(meta(media::kAudio, 7, t, 0), other);
    }
    run(1500);
    ASSERT_FALSE(heard.empty());
    size_t adpcmCount = 0, alawCount = 0;
    for (const auto& [pt, bytes] : heard) {
        EXPECT_TRUE(bytes == 640 || bytes == 400) << bytes;
        adpcmCount += bytes == 640;
        alawCount += bytes == 400;
    }
    EXPECT_EQ(adpcmCount, alawCount);

    // Paused, or switched off: nothing.
    heard.clear();
    player.paused = true;
    for (uint32_t t = 1200; t < 2400; t += 40) {
        player.Input(meta(media::kVideoP, 99, t, 4), "xxxx");
        player.Input(meta(media::kAudio, media::kPtG711A, t, 0), alaw);
    }
    run(1500);
    EXPECT_TRUE(heard.empty());
}

TEST_F(Player, SeventyTwoHoursOfPlayStopsThePlayer) {
    ASSERT_TRUE(player.Start());
    clock.advanceMs(RTPPlayer::kMaxPlayMs);
    player.Tick(false);
    EXPECT_EQ(player.state, RTPPlayer::Playing);
    clock.advanceMs(1);
    player.Tick(false);
    EXPECT_EQ(player.state, RTPPlayer::Stopped);
}

TEST_F(Player, RecorderOpensAndClosesOnTicks) {
    const fs::path dir = fs::temp_directory_path() / ("player-rec-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "rec.flv").string();
    ASSERT_TRUE(player.Start());
    player.StartRecording(file);
    EXPECT_FALSE(player.recording);
    player.Tick(true);
    EXPECT_TRUE(player.recording);
    // No key frame yet: the file is there and empty.
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);
    player.StopRecording();
    player.Tick(true);
    EXPECT_FALSE(player.recording);
    EXPECT_FALSE(fs::exists(file));

    // A file that cannot be created cancels the request.
    player.StartRecording((dir / "missing" / "rec.flv").string());
    player.Tick(true);
    EXPECT_FALSE(player.recordWanted);
    EXPECT_FALSE(player.recording);
    EXPECT_EQ(player.errorText, "创建文件失败"_gbk);
    fs::remove_all(dir);
}

TEST_F(Player, SnapshotRequestAndCancel) {
    player.Snapshot("a.jpg");
    EXPECT_TRUE(player.snapshotWanted);
    player.Snapshot("");
    EXPECT_FALSE(player.snapshotWanted);
}

} // namespace
