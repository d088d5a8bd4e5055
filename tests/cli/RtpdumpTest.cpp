// Runs tavrina-rtpdump on real terminal captures and checks its output with ffprobe.

#include <gtest/gtest.h>

#include "support/RunCommand.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

namespace fs = std::filesystem;

namespace {

using Result = tavrina_test::CommandResult;
const auto run = [](const std::string& command) { return tavrina_test::runCommand(command); };

const std::string kTool = TAVRINA_RTPDUMP;
const std::string kCapture = std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp";
const std::string kOldLayout =
    std::string(TAVRINA_TESTDATA) + "/jt1078/sim6-h264-adpcma-2016layout.rtp";

std::string lastLine(const std::string& out) {
    const size_t end = out.find_last_not_of('\n');
    const size_t start = out.rfind('\n', end);
    return out.substr(start == std::string::npos ? 0 : start + 1,
                      end - (start == std::string::npos ? 0 : start + 1) + 1);
}

size_t countLines(const std::string& out) {
    return std::count(out.begin(), out.end(), '\n');
}

class Rtpdump : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kCapture)) GTEST_SKIP() << "shared test data not found: " << kCapture;
        dir = fs::temp_directory_path() / ("rtpdump-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST_F(Rtpdump, RealCaptureEveryPacketFound) {
    const Result r = run(kTool + " --packets " + kCapture);
    ASSERT_EQ(r.status, 0) << r.out;
    std::smatch m;
    const std::string summary = lastLine(r.out);
    ASSERT_TRUE(
        std::regex_match(summary, m,
                         std::regex("summary packets=(\\d+) frames=(\\d+) video_frames=(\\d+) "
                                    "audio_frames=(\\d+) other_frames=(\\d+)")))
        << summary;
    EXPECT_EQ(std::stoul(m[1]), 340u);
    EXPECT_EQ(countLines(r.out), 341u);
    const unsigned long frames = std::stoul(m[2]);
    EXPECT_EQ(frames, std::stoul(m[3]) + std::stoul(m[4]) + std::stoul(m[5]));
    EXPECT_GT(std::stoul(m[3]), 0u);
    EXPECT_GT(std::stoul(m[4]), 0u);
    EXPECT_LT(frames, 340u); // sub-packets were joined

    // Every line names the terminal and its channel.
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_TRUE(
        std::regex_match(first, std::regex("seq=\\d+ pt=\\d+ type=\\d+ sub=\\d+ "
                                           "sim=00000000020232609559 ch=1 ts=\\d+ len=\\d+")))
        << first;

    const Result f = run(kTool + " --frames " + kCapture);
    ASSERT_EQ(f.status, 0);
    EXPECT_EQ(countLines(f.out), frames + 1);
    EXPECT_EQ(lastLine(f.out), summary);
}

TEST_F(Rtpdump, H264OutputDecodesAt640x480) {
    const fs::path out = dir / "video.h264";
    const Result r = run(kTool + " --frames --h264 " + out.string() + " " + kCapture);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_GT(fs::file_size(out), 10000u);
    const Result probe =
        run("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height "
            "-of csv=p=0 " +
            out.string());
    ASSERT_EQ(probe.status, 0) << probe.out;
    EXPECT_NE(probe.out.find("h264,640,480"), std::string::npos) << probe.out;
    // The decoder gets through the stream and yields pictures (the capture starts with a frame
    // whose parameter set is missing, so a complaint about that one is expected).
    const Result count = run("ffprobe -v quiet -count_frames -select_streams v:0 -show_entries "
                             "stream=nb_read_frames -of csv=p=0 " +
                             out.string());
    ASSERT_EQ(count.status, 0) << count.out;
    EXPECT_GT(std::stoul(lastLine(count.out)), 10u);
}

TEST_F(Rtpdump, ForeignLayoutPassesWithoutHarm) {
    if (!fs::exists(kOldLayout)) GTEST_SKIP();
    const Result r = run("timeout 20 " + kTool + " --frames " + kOldLayout);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(lastLine(r.out).find("summary packets="), std::string::npos);
}

TEST_F(Rtpdump, UnreadableFileFails) {
    const Result r = run(kTool + " " + (dir / "missing.rtp").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("打开文件失败"), std::string::npos) << r.out;
    EXPECT_EQ(run(kTool).status, 2);
    EXPECT_EQ(run(kTool + " --bogus " + kCapture).status, 2);
}
