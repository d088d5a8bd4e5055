// The FLV writer on hand-made access units (real parameter sets, stand-in slices), read back by
// an independent tag reader. ffprobe and ffmpeg judge real recordings in the integration suite.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "media/Flvencoder.h"
#include "player/FlvReader.h"
#include "player/FullDiskFile.h"
#include "util/GbkText.h"

namespace fs = std::filesystem;
using namespace tavrina_test;
using namespace util::literals;
using media::FLVEncoder;
using namespace std::string_literals;

namespace {

// The AAC encoder reports its statistics on closing.
const bool quiet = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

std::string hex(const char* h) {
    std::string out;
    for (size_t i = 0; h[i] && h[i + 1]; i += 2)
        out.push_back(static_cast<char>(std::stoi(std::string(h + i, 2), nullptr, 16)));
    return out;
}

// 352x288 Baseline at 25 frames per second, and 640x360, both from libx264.
const std::string kSps = hex("6742c00dda05825b011000000300100000030328f142aa");
const std::string kSps640 = hex("6742c01eda0280bfe5c044000003000400000300c83c58ba80");
const std::string kPps = hex("68ce0fc8");
const std::string kIdr = hex("65888400335566778899");
const std::string kP = hex("419a2233445566");
const std::string kSei = hex("0605112233");
const std::string kAud = hex("0910");

std::string au(const std::vector<std::string>& units) {
    std::string out;
    for (const std::string& u : units)
        out += std::string("\0\0\0\1", 4) + u;
    return out;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FlvWriter : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("flv-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        path = (dir / "rec.flv").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    bool open(FLVEncoder& w) { return w.Open(path, 25, 8000, 1, 16, true); }
    static bool video(FLVEncoder& w, const std::vector<std::string>& units, uint32_t ts) {
        std::string frame = au(units);
        return w.AddVideo(frame, ts);
    }
    // Video frames 40 ms apart from `from` to `to` (terminal ms), the first with the
    // parameter sets and an IDR.
    static void videoRun(FLVEncoder& w, uint32_t from, uint32_t to) {
        for (uint32_t t = from; t <= to; t += 40)
            ASSERT_TRUE(video(w, t == from ? std::vector{kSps, kPps, kIdr} : std::vector{kP}, t));
    }
    FlvFileView file() const { return readFlv(readFile(path)); }

    fs::path dir;
    std::string path;
};

TEST_F(FlvWriter, FirstKeyFrameStartsFileWithHeaderAndSequenceHeaders) {
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    // Nothing before the first IDR that follows both parameter sets; SEI and delimiters never.
    ASSERT_TRUE(video(w, {kP}, 960));
    ASSERT_TRUE(video(w, {kAud, kSps, kPps, kSei, kIdr}, 1000));
    ASSERT_TRUE(video(w, {kP}, 1040));
    const FlvFileView f = file(); // 40 ms: Close would delete it
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.flags, 0x05);
    ASSERT_EQ(f.tags.size(), 5u); // meta, AVC config, AAC config, IDR, P
    EXPECT_EQ(f.tags[0].type, 18);
    EXPECT_EQ(f.metaCount, 11u);
    std::vector<std::string> keys;
    for (const FlvMetaEntry& e : f.meta)
        keys.push_back(e.key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"duration", "width", "height", "videodatarate", "framerate",
                                        "videocodecid", "audiosamplerate", "audiosamplesize",
                                        "stereo", "audiocodecid", "filesize"}));
    EXPECT_EQ(f.metaNumber("width"), 352);
    EXPECT_EQ(f.metaNumber("height"), 288);
    EXPECT_EQ(f.metaNumber("framerate"), 25);
    EXPECT_EQ(f.metaNumber("videocodecid"), 7);
    EXPECT_EQ(f.metaNumber("audiocodecid"), 10);
    EXPECT_EQ(f.metaNumber("audiosamplerate"), 8000);
    EXPECT_EQ(f.metaNumber("stereo"), 0);

    const std::string avc = "\x17\x00\x00\x00\x00\x01"s + kSps.substr(1, 3) + "\xFF\xE1"s +
                            "\x00"s + static_cast<char>(kSps.size()) + kSps + "\x01\x00"s +
                            static_cast<char>(kPps.size()) + kPps;
    EXPECT_EQ(f.tags[1].type, 9);
    EXPECT_EQ(f.tags[1].data, avc);
    EXPECT_EQ(f.tags[2].type, 8);
    EXPECT_EQ(f.tags[2].data.substr(0, 2), "\xAF\x00"s);
    EXPECT_EQ(f.tags[2].data.size(), 4u); // AAC LC AudioSpecificConfig
    EXPECT_EQ(f.tags[3].data,
              "\x17\x01\x00\x00\x00\x00\x00\x00"s + static_cast<char>(kIdr.size()) + kIdr);
    EXPECT_EQ(f.tags[3].timestamp, 0u);
    EXPECT_EQ(f.tags[4].data.substr(0, 2), "\x27\x01"s);
}

TEST_F(FlvWriter, UnitBehindThreeByteStartCodeIsItsOwnUnit) {
    // As a real terminal sends its key frames: the IDR follows the PPS after 00 00 01, so the
    // 4-byte splitter sees one long PPS.
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    ASSERT_TRUE(video(w, {kSps, kPps + std::string("\0\0\1", 3) + kIdr}, 1000));
    EXPECT_EQ(w.pps, kPps);
    const FlvFileView f = file();
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.tags.size(), 4u);
    EXPECT_EQ(f.tags[3].data.substr(0, 9),
              "\x17\x01\x00\x00\x00\x00\x00\x00"s + static_cast<char>(kIdr.size()));
}

TEST_F(FlvWriter, VideoClockFollowsFrameTimestamps) {
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    ASSERT_TRUE(video(w, {kSps, kPps, kIdr}, 1000));
    ASSERT_TRUE(video(w, {kP, kP}, 1040)); // two units of one frame
    ASSERT_TRUE(video(w, {kP}, 1080));
    ASSERT_TRUE(video(w, {kP}, 1060)); // backwards: one frame period
    EXPECT_DOUBLE_EQ(w.videoTime, 160);
    w.Close(); // 160 ms: deleted, so look before closing
    EXPECT_FALSE(fs::exists(path));

    FLVEncoder again;
    ASSERT_TRUE(open(again));
    ASSERT_TRUE(video(again, {kSps, kPps, kIdr}, 1000));
    ASSERT_TRUE(video(again, {kP, kP}, 1040));
    ASSERT_TRUE(video(again, {kP}, 1080));
    videoRun(again, 2000, 2400); // keep it
    again.Close();
    std::vector<uint32_t> ts;
    const FlvFileView f = file();
    for (const FlvTag* t : f.of(9))
        ts.push_back(t->timestamp);
    ASSERT_GE(ts.size(), 5u);
    EXPECT_EQ(std::vector<uint32_t>(ts.begin(), ts.begin() + 5),
              (std::vector<uint32_t>{0, 0, 40, 80, 120}));
}

TEST_F(FlvWriter, SilenceKeepsAudioTrackUpWithVideo) {
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    videoRun(w, 0, 1000);
    EXPECT_LT(w.videoTime - w.audioTime, 160);
    w.Close();
    const FlvFileView f = file();
    ASSERT_TRUE(f.ok);
    const auto audio = f.of(8);
    ASSERT_GT(audio.size(), 7u);
    // In order, 128 ms apart, and never far behind the video written before them.
    for (size_t i = 2; i < audio.size(); ++i)
        EXPECT_EQ(audio[i]->timestamp - audio[i - 1]->timestamp, 128u);
    uint32_t lastVideo = 0;
    uint32_t lastAudio = 0;
    for (const FlvTag& t : f.tags) {
        if (t.type == 9) lastVideo = t.timestamp;
        if (t.type == 8 && t.data[1] == 1) lastAudio = t.timestamp;
        // Filled after each video tag once 160 ms behind: never more than 160 + one frame.
        if (t.type == 9 && t.timestamp > 200) {
            EXPECT_LT(int64_t{t.timestamp} - (int64_t{lastAudio} + 128), 200) << t.timestamp;
        }
    }
    EXPECT_GE(lastAudio + 128, lastVideo);
}

TEST_F(FlvWriter, ShortRecordingsAreDeleted) {
    struct Case {
        std::vector<uint32_t> frames;
        bool kept;
        double duration;
    };
    // With silence filled at 160 ms behind, the audio track ends at 256 ms in both.
    const Case cases[] = {{{1000, 1125, 1250}, false, 0}, {{1000, 1100, 1200, 1300}, true, 0.3}};
    for (const Case& c : cases) {
        FLVEncoder w;
        ASSERT_TRUE(open(w));
        for (uint32_t t : c.frames)
            ASSERT_TRUE(video(w, t == 1000 ? std::vector{kSps, kPps, kIdr} : std::vector{kP}, t));
        w.Close();
        ASSERT_EQ(fs::exists(path), c.kept) << c.frames.size();
        if (c.kept) {
            EXPECT_DOUBLE_EQ(file().metaNumber("duration"), c.duration);
        }
    }
}

TEST_F(FlvWriter, CloseRewritesMetadataInPlace) {
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    ASSERT_TRUE(video(w, {kSps, kPps, kIdr}, 1000));
    const FlvFileView first = file();
    ASSERT_TRUE(first.ok);
    ASSERT_TRUE(video(w, {kP}, 1040));
    // A new size mid-stream reaches the file through the final rewrite only.
    ASSERT_TRUE(video(w, {kSps640, kPps, kIdr}, 1080));
    for (uint32_t t = 1120; t <= 2000; t += 40)
        ASSERT_TRUE(video(w, {kP}, t));
    w.Close();
    const std::string bytes = readFile(path);
    const FlvFileView f = readFlv(bytes);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.metaTagLength, first.metaTagLength);
    EXPECT_EQ(f.metaNumber("filesize"), static_cast<double>(bytes.size()));
    EXPECT_EQ(f.metaNumber("width"), 640);
    EXPECT_EQ(f.metaNumber("height"), 360);
    EXPECT_NEAR(f.metaNumber("duration"), 1.0, 0.13);
    EXPECT_GT(f.metaNumber("videodatarate"), 0);
    EXPECT_EQ(first.metaNumber("filesize"), 0);
}

TEST_F(FlvWriter, OpenFailures) {
    FLVEncoder w;
    EXPECT_FALSE(w.Open("", 25, 8000, 1, 16, true));
    EXPECT_EQ(w.lastError, "无输出目标文件或输出事件"_gbk);
    EXPECT_FALSE(w.Open((dir / "no" / "such" / "x.flv").string(), 25, 8000, 1, 16, true));
    EXPECT_EQ(w.lastError, "创建文件失败"_gbk);
    EXPECT_FALSE(w.Open(path, 25, 8000, 1, 24, true));
    EXPECT_EQ(w.lastError, "采样位数只支持16、32"_gbk);
    EXPECT_FALSE(w.AddAudio(std::string(4096, '\0'))); // no file
    std::string frame = au({kSps, kPps, kIdr});
    EXPECT_TRUE(w.AddVideo(frame, 0)); // ignored
}

TEST_F(FlvWriter, OversizedTagIsRefused) {
    FLVEncoder w;
    ASSERT_TRUE(open(w));
    ASSERT_TRUE(video(w, {kSps, kPps, kIdr}, 1000));
    std::string huge = hex("4188") + std::string(0x1000000, '\x11');
    EXPECT_FALSE(video(w, {huge}, 1040));
    EXPECT_EQ(w.lastError, "tag data size > 0xffffff");
    EXPECT_TRUE(w.isOpen());
}

TEST_F(FlvWriter, SaveStateRestoresEveryField) {
    FLVEncoder w;
    const std::string longName = (dir / std::string(300, 'n')).string();
    w.fileName = longName;
    w.started = true;
    w.headerReady = false;
    w.hasVideo = true;
    w.header = "hdr";
    w.spareHeader = "spare";
    w.durationMs = 1;
    w.width = 2;
    w.height = 3;
    w.videoDataRate = 4;
    w.frameRate = 5;
    w.sampleRate = 16000;
    w.sampleSize = 32;
    w.channels = 2;
    w.fileSize = 9;
    w.sps = kSps;
    w.pps = kPps;
    w.lastVideoTimestamp = 10;
    w.videoBytes = 11;
    w.videoTime = 12.5;
    w.audioTime = 13.25;
    std::string state;
    w.SaveState(state);

    FLVEncoder r;
    r.openFile = [](const std::string&, bool) { return nullptr; }; // nothing on disk here
    EXPECT_FALSE(r.LoadState(state));
    EXPECT_EQ(r.fileName, longName.substr(0, 255));
    EXPECT_EQ(r.started, true);
    EXPECT_EQ(r.hasVideo, true);
    EXPECT_EQ(r.headerReady, false);
    EXPECT_EQ(r.header, "hdr");
    EXPECT_EQ(r.spareHeader, "spare");
    EXPECT_EQ(r.durationMs, 1u);
    EXPECT_EQ(r.width, 2u);
    EXPECT_EQ(r.height, 3u);
    EXPECT_EQ(r.videoDataRate, 4u);
    EXPECT_EQ(r.frameRate, 5u);
    EXPECT_EQ(r.sampleRate, 16000u);
    EXPECT_EQ(r.sampleSize, 32u);
    EXPECT_EQ(r.channels, 2u);
    EXPECT_EQ(r.sps, kSps);
    EXPECT_EQ(r.pps, kPps);
    EXPECT_EQ(r.lastVideoTimestamp, 10u);
    EXPECT_EQ(r.videoBytes, 11u);
    EXPECT_EQ(r.videoTime, 12.5);
    EXPECT_EQ(r.audioTime, 13.25);
    EXPECT_FALSE(r.isOpen()); // the file could not be reopened
    EXPECT_EQ(r.lastError, "创建文件失败"_gbk);

    // Every shorter state fails; so does one whose clocks are not times.
    for (size_t n = 0; n < state.size(); ++n)
        EXPECT_FALSE(FLVEncoder().LoadState(state.substr(0, n))) << n;
    std::string nan = state;
    std::fill(nan.end() - 8, nan.end(), '\xFF');
    EXPECT_FALSE(FLVEncoder().LoadState(nan));
}

TEST_F(FlvWriter, ResumedRecordingAppendsToTheSameFile) {
    std::string state;
    {
        FLVEncoder w;
        ASSERT_TRUE(open(w));
        videoRun(w, 1000, 2000);
        w.SaveState(state);
        EXPECT_FALSE(w.isOpen());
    }
    const size_t firstPart = readFile(path).size();
    // A crash after the save left half a tag behind: it is cut off on load.
    std::ofstream(path, std::ios::binary | std::ios::app) << "\x09\x00\x00";
    FLVEncoder w;
    ASSERT_TRUE(w.LoadState(state));
    ASSERT_TRUE(w.isOpen());
    for (uint32_t t = 2040; t <= 3000; t += 40)
        ASSERT_TRUE(video(w, {kP}, t));
    w.Close();
    const std::string bytes = readFile(path);
    const FlvFileView f = readFlv(bytes);
    ASSERT_TRUE(f.ok);
    EXPECT_GT(bytes.size(), firstPart);
    EXPECT_EQ(f.metaNumber("filesize"), static_cast<double>(bytes.size()));
    EXPECT_NEAR(f.metaNumber("duration"), 2.0, 0.13);
    uint32_t last = 0;
    for (const FlvTag* t : f.of(9)) {
        EXPECT_GE(t->timestamp, last);
        last = t->timestamp;
    }
    EXPECT_EQ(last, 2000u);
}

TEST_F(FlvWriter, FullDiskLeavesValidFileUpToLastWholeTag) {
    // Budgets that end inside the header, inside a video tag and inside an audio tag.
    for (long long budget : {100LL, 2500LL, 4000LL, 6001LL}) {
        long long left = budget;
        FLVEncoder w;
        w.openFile = fullDiskOpener(left);
        ASSERT_TRUE(open(w));
        bool failed = false;
        for (uint32_t t = 0; t <= 2000 && !failed; t += 40) {
            std::string frame = au(t == 0 ? std::vector{kSps, kPps, kIdr}
                                          : std::vector{kP + std::string(120, '\x22')});
            failed = !w.AddVideo(frame, t);
        }
        ASSERT_TRUE(failed) << budget;
        EXPECT_EQ(w.lastError, "写入文件失败"_gbk);
        EXPECT_FALSE(w.isOpen());
        std::string frame = au({kP});
        EXPECT_TRUE(w.AddVideo(frame, 3000)); // ignored from now on
        w.Close();
        if (!fs::exists(path)) {
            EXPECT_LT(budget, 5000) << "a recording of 300 ms or more must stay";
            continue;
        }
        const std::string bytes = readFile(path);
        const FlvFileView f = readFlv(bytes);
        EXPECT_TRUE(f.ok) << budget;
        EXPECT_LE(bytes.size(), static_cast<size_t>(budget));
        EXPECT_EQ(f.metaNumber("filesize"), static_cast<double>(bytes.size())) << budget;
    }
}

} // namespace
