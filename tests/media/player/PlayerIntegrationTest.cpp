// External truth for the player and the FLV writer: streams made by ffmpeg (libx264) with a
// tone in IMA ADPCM or G.711 A-law, played through a player on a fake clock; the recordings
// judged by ffprobe and ffmpeg, which must stay silent at the error level.

#include <gtest/gtest.h>

#include "support/RunCommand.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "media/AudioCodec.h"
#include "media/Flvencoder.h"
#include "media/JpegFile.h"
#include "media/RTPBuf.h"
#include "media/RTPPlayer.h"
#include "player/FlvReader.h"
#include "player/FullDiskFile.h"
#include "util/Clock.h"

namespace fs = std::filesystem;
using namespace tavrina_test;
using media::RTPPlayer;

namespace {

constexpr double kToneHz = 440;

using RunResult = tavrina_test::CommandResult;

// stdout and stderr together, unless stdout alone is asked for (binary output).
RunResult run(const std::string& command, bool withStderr = true) {
    return tavrina_test::runCommand(withStderr ? command : command + " 2>/dev/null", withStderr);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Access units of a byte stream, every unit behind a 4-byte start code as terminals send them.
std::vector<std::string> accessUnits(const std::string& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) starts.push_back(i + 3);
    std::vector<std::string> aus;
    bool sawSlice = false;
    for (size_t n = 0; n < starts.size(); ++n) {
        size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : s.size();
        while (end > starts[n] && s[end - 1] == 0)
            --end;
        if (end == starts[n]) continue;
        const auto* u = reinterpret_cast<const uint8_t*>(s.data() + starts[n]);
        const int type = u[0] & 0x1F;
        const bool slice = type == 1 || type == 5;
        const bool newPicture =
            slice ? end - starts[n] > 1 && (u[1] & 0x80) : (type >= 6 && type <= 9);
        if (aus.empty() || (sawSlice && newPicture)) {
            aus.emplace_back();
            sawSlice = false;
        }
        sawSlice = sawSlice || slice;
        aus.back() += std::string("\0\0\0\1", 4);
        aus.back().append(s, starts[n], end - starts[n]);
    }
    return aus;
}

// The frames of one channel as a terminal sends them: video at its rate, 40 ms audio frames
// of a tone, by timestamp.
std::vector<media::RTP_data> terminalFrames(const std::vector<std::string>& aus, double fps,
                                            uint8_t audioPt, uint32_t firstTs = 100000) {
    std::vector<media::RTP_data> frames;
    const double ms = aus.size() * 1000.0 / fps;
    size_t v = 0;
    media::AdpcmState st;
    uint32_t a = 0;
    while (v < aus.size() || (audioPt != 0 && a * 40 < ms)) {
        const double vt = v < aus.size() ? v * 1000.0 / fps : 1e18;
        const double at = audioPt != 0 && a * 40 < ms ? a * 40.0 : 1e18;
        media::RTP_data f;
        f.meta.simch = {"00000000013912345678", 1};
        if (vt <= at) {
            f.meta.PT = media::kPtH264;
            f.meta.dataType = aus[v].find(std::string("\0\0\0\1\x65", 5)) != std::string::npos
                                  ? media::kVideoI
                                  : media::kVideoP;
            f.meta.timestamp = firstTs + static_cast<uint32_t>(vt);
            f.data = aus[v++];
        } else {
            std::string pcm;
            for (int i = 0; i < 320; ++i) {
                const auto s = static_cast<int16_t>(
                    std::lround(8000 * std::sin(2 * M_PI * kToneHz * (a * 320 + i) / 8000)));
                pcm.push_back(static_cast<char>(s & 0xFF));
                pcm.push_back(static_cast<char>((s >> 8) & 0xFF));
            }
            f.meta.PT = audioPt;
            f.meta.dataType = media::kAudio;
            f.meta.timestamp = firstTs + a * 40;
            f.data =
                audioPt == media::kPtAdpcm ? media::EncodeAdpcm(pcm, st) : media::EncodeALaw(pcm);
            ++a;
        }
        f.meta.length = static_cast<uint32_t>(f.data.size());
        frames.push_back(std::move(f));
    }
    return frames;
}

// How much of 440 Hz there is in 16-bit PCM: its share of the signal's power.
double toneShare(const std::string& pcm) {
    const size_t n = pcm.size() / 2;
    double re = 0, im = 0, power = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto s = static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) |
                                            (static_cast<uint8_t>(pcm[2 * i + 1]) << 8));
        re += s * std::cos(2 * M_PI * kToneHz * i / 8000);
        im += s * std::sin(2 * M_PI * kToneHz * i / 8000);
        power += double(s) * s;
    }
    if (power <= 0) return 0;
    return 2 * (re * re + im * im) / n / power;
}

class PlayerExternal : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        av_log_set_level(AV_LOG_ERROR);
        if (run("ffmpeg -version").out.find("libx264") == std::string::npos)
            GTEST_SKIP() << "ffmpeg with libx264 is needed (scripts/bootstrap installs it)";
        char tmpl[] = "/tmp/tavrina-player-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    static void TearDownTestSuite() {
        if (!dir.empty()) fs::remove_all(dir);
        dir.clear();
    }

    static std::vector<std::string> stream(const std::string& size, int rate, int frames,
                                           const std::string& options = "") {
        const fs::path out = dir / ("s" + size + "-" + std::to_string(rate) + "-" +
                                    std::to_string(frames) + ".h264");
        if (!fs::exists(out)) {
            const RunResult r =
                run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + size +
                    ":rate=" + std::to_string(rate) + " -frames:v " + std::to_string(frames) +
                    " -c:v libx264 -preset ultrafast -bf 0 -g 50 "
                    "-pix_fmt yuv420p " +
                    options + " " + out.string());
            EXPECT_EQ(r.out, "");
        }
        return accessUnits(readFile(out));
    }

    // What a player needs for ffprobe to be satisfied with an FLV file; the figures it reads.
    struct Probe {
        std::string codecs;
        double duration = -1;
        std::string tags;
    };
    static Probe checkFlv(const fs::path& file) {
        Probe p;
        const RunResult probe = run("ffprobe -v error " + file.string());
        EXPECT_EQ(probe.out, "") << file;
        EXPECT_EQ(probe.status, 0);
        const RunResult decode = run("ffmpeg -nostdin -v error -i " + file.string() + " -f null -");
        EXPECT_EQ(decode.out, "") << file;
        EXPECT_EQ(decode.status, 0);
        p.codecs =
            run("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + file.string())
                .out;
        p.duration = std::atof(
            run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + file.string())
                .out.c_str());
        p.tags = run("ffprobe -v error -flv_full_metadata 1 -show_entries format_tags -of "
                     "default=nw=1 " +
                     file.string())
                     .out;
        return p;
    }
    static std::string decodedAudio(const fs::path& file) {
        return run("ffmpeg -nostdin -v error -i " + file.string() +
                       " -map 0:a -f s16le -ac 1 -ar 8000 -",
                   false)
            .out;
    }

    static inline fs::path dir;
};

// Plays frames through a player on a fake clock as they would arrive in real time, the view
// taking every picture; returns the pictures taken.
struct Feed {
    util::FakeClock clock{1};
    media::ClockCounter counter{clock};
    RTPPlayer player{counter};
    int taken = 0;

    Feed() { player.Start(); }

    uint64_t tickMs = 30; // the view's timer

    void play(const std::vector<media::RTP_data>& frames, uint64_t tailMs, bool force = true,
              const std::function<void()>& eachTick = {}) {
        const uint64_t start = clock.monotonicMs();
        const uint32_t first = frames.empty() ? 0 : frames.front().meta.timestamp;
        size_t next = 0;
        const uint64_t end =
            frames.empty() ? tailMs : frames.back().meta.timestamp - first + tailMs;
        for (uint64_t t = 0; t <= end; t += 10) {
            clock.setMonotonicMs(start + t);
            while (next < frames.size() && frames[next].meta.timestamp - first <= t) {
                player.Input(frames[next].meta, frames[next].data);
                ++next;
            }
            if (t % tickMs == 0) {
                player.Tick(force);
                const uint32_t* bitmap = nullptr;
                taken += player.Take(false, bitmap);
                if (eachTick) eachTick();
            }
        }
    }
};

struct RecordCase {
    const char* name;
    uint8_t audioPt;
};

class PlayerRecording : public PlayerExternal, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(PlayerRecording, FileIsValidAndHoldsWhatWasPlayed) {
    const auto aus = stream("352x288", 25, 125); // 5 s
    const auto frames = terminalFrames(aus, 25, GetParam().audioPt);
    const fs::path file = dir / (std::string(GetParam().name) + ".flv");
    Feed feed;
    feed.player.StartRecording(file.string());
    feed.play(frames, 0);
    EXPECT_TRUE(feed.player.recording);
    feed.player.Stop();

    const Probe p = checkFlv(file);
    EXPECT_EQ(p.codecs, "h264\naac\n");
    // The player holds back the last 200 ms of video in its buffer, plus the frame due.
    EXPECT_NEAR(p.duration, 5.0 - 0.24, 0.2);
    const std::string size = std::to_string(fs::file_size(file));
    for (const char* line :
         {"width=352\n", "height=288\n", "framerate=25\n", "videocodecid=7\n",
          "audiosamplerate=8000\n", "audiosamplesize=16\n", "stereo=false\n", "audiocodecid=10\n"})
        EXPECT_NE(p.tags.find(std::string("TAG:") + line), std::string::npos) << line << p.tags;
    EXPECT_NE(p.tags.find("TAG:filesize=" + size + "\n"), std::string::npos) << p.tags;
    const std::string pcm = decodedAudio(file);
    ASSERT_GT(pcm.size(), 8000u * 2 * 4);
    // The middle of the track, away from the encoder's start and end.
    EXPECT_GT(toneShare(pcm.substr(16000, 32000)), 0.9);
}

INSTANTIATE_TEST_SUITE_P(Tone, PlayerRecording,
                         ::testing::Values(RecordCase{"Adpcm", media::kPtAdpcm},
                                           RecordCase{"ALaw", media::kPtG711A}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerExternal, RtpdumpFlvFromRealCapture) {
    const std::string capture = std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp";
    const std::string tool = std::string(TAVRINA_BINARY_DIR) + "/bin/tavrina-rtpdump";
    const fs::path file = dir / "capture.flv";
    const fs::path jpg = dir / "capture.jpg";
    const RunResult r =
        run(tool + " --flv " + file.string() + " --snapshot " + jpg.string() + " " + capture);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" snapshot_width=640 snapshot_height=480"), std::string::npos) << r.out;
    const Probe p = checkFlv(file);
    EXPECT_EQ(p.codecs, "h264\naac\n");
    // Video from the first key frame (the second frame, 90 ms in) to the last frame.
    EXPECT_NEAR(p.duration, (1175661670 - 1175657715) / 1000.0, 0.2);
    EXPECT_NE(p.tags.find("TAG:width=640\nTAG:height=480\n"), std::string::npos) << p.tags;
    EXPECT_NE(p.tags.find("TAG:filesize=" + std::to_string(fs::file_size(file)) + "\n"),
              std::string::npos);
    media::JpegImage image;
    ASSERT_TRUE(media::JpegFile::load(jpg.string(), image));
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.height, 480);
}

TEST_F(PlayerExternal, ResumedRecordingIsOneFile) {
    // As a clip download does it: no queue, the buffer's mapping for timestamps, and the
    // writer's and the buffer's states saved in the middle and loaded into new ones.
    const auto frames = terminalFrames(stream("352x288", 25, 100), 25, media::kPtG711A);
    const fs::path file = dir / "resumed.flv";
    std::string writerState, bufferState;
    auto feed = [](media::FLVEncoder& w, media::RTPBuf& b, const media::RTP_data& f) {
        const media::RTPmeta local = b.MapTimestamp(f.meta);
        if (f.meta.dataType == media::kAudio) {
            w.AddAudio(media::DecodeALaw(f.data));
        } else {
            std::string copy = f.data;
            w.AddVideo(copy, local.timestamp);
        }
    };
    const size_t half = frames.size() / 2;
    {
        media::FLVEncoder w;
        media::RTPBuf b;
        ASSERT_TRUE(w.Open(file.string(), 25, 8000, 1, 16, true));
        for (size_t i = 0; i < half; ++i)
            feed(w, b, frames[i]);
        w.SaveState(writerState);
        bufferState = b.SaveState();
    }
    media::FLVEncoder w;
    media::RTPBuf b;
    ASSERT_TRUE(w.LoadState(writerState));
    ASSERT_TRUE(b.LoadState(bufferState));
    // The task resumes a little later in the recording: a gap of a second.
    const uint32_t resumeAt = frames[half].meta.timestamp + 1000;
    for (size_t i = half; i < frames.size(); ++i)
        if (frames[i].meta.timestamp >= resumeAt) feed(w, b, frames[i]);
    w.Close();
    const Probe p = checkFlv(file);
    EXPECT_EQ(p.codecs, "h264\naac\n");
    // The mapping caps the gap at 200 ms.
    EXPECT_NEAR(p.duration, 4.0 - 1.0 + 0.2, 0.2);
    EXPECT_NE(p.tags.find("TAG:filesize=" + std::to_string(fs::file_size(file)) + "\n"),
              std::string::npos);
    EXPECT_GT(toneShare(decodedAudio(file).substr(8000, 24000)), 0.9);
}

TEST_F(PlayerExternal, SnapshotIsExactPictureAsJpeg) {
    const auto frames = terminalFrames(stream("352x288", 25, 25), 25, 0);
    const fs::path jpg = dir / "snap.jpg";
    Feed feed;
    feed.player.Snapshot(jpg.string());
    std::vector<uint32_t> shot;
    feed.play(frames, 0, false, [&] {
        if (shot.empty() && !feed.player.snapshotWanted) {
            const media::VideoFrame& f = feed.player.frame();
            shot.assign(f.bits(), f.bits() + f.width() * f.height());
        }
    });
    ASSERT_FALSE(shot.empty());
    media::JpegImage image;
    ASSERT_TRUE(media::JpegFile::load(jpg.string(), image));
    ASSERT_EQ(image.width, 352);
    ASSERT_EQ(image.height, 288);
    // Within JPEG error: small on average, large only at a few sharp coloured edges (the
    // test card has many), where chroma is subsampled.
    double err = 0;
    size_t far = 0;
    for (size_t i = 0; i < shot.size(); ++i)
        for (int sh : {0, 8, 16}) {
            const int d = std::abs(static_cast<int>((shot[i] >> sh) & 0xFF) -
                                   static_cast<int>((image.pixels[i] >> sh) & 0xFF));
            err += d;
            far += d > 48;
        }
    EXPECT_LT(err / (shot.size() * 3.0), 3.0);
    EXPECT_LT(far, shot.size() * 3 / 100);
}

TEST_F(PlayerExternal, PictureBeforeTimeoutClearsTheWait) {
    Feed feed;
    feed.player.waitSeconds = 10;
    feed.play({}, 9000);
    EXPECT_GT(feed.player.waitSeconds, 0);
    feed.play(terminalFrames(stream("352x288", 25, 50), 25, 0), 3000);
    EXPECT_GT(feed.taken, 0);
    EXPECT_EQ(feed.player.waitSeconds, 0);
    EXPECT_TRUE(feed.player.statusText.empty());
}

TEST_F(PlayerExternal, SizeChangeRecreatesDecoderAndRedrawsCell) {
    auto aus = stream("352x288", 25, 25);
    for (std::string& au : stream("640x360", 25, 25))
        aus.push_back(std::move(au));
    Feed feed;
    std::vector<std::pair<int, bool>> widths; // width when it changed, and the redraw mark
    int last = 0;
    feed.play(terminalFrames(aus, 25, 0), 500, true, [&] {
        if (feed.player.picWidth != last) {
            last = feed.player.picWidth;
            widths.emplace_back(last, feed.player.statusChanged);
        }
        feed.player.statusChanged = false;
    });
    EXPECT_EQ(widths, (std::vector<std::pair<int, bool>>{{352, true}, {640, true}}));
    EXPECT_EQ(feed.player.spsWidth, 640);
    EXPECT_EQ(feed.player.decoder.decodedCount < 25u, true); // counted afresh since the new one
}

TEST_F(PlayerExternal, ManyPicturesASecondShowEveryOther) {
    struct Case {
        int fps;
        bool everyPicture;
    };
    for (const Case c : {Case{17, true}, Case{18, false}, Case{25, false}}) {
        Feed feed;
        feed.tickMs = 10; // second marks fall on whole seconds, each holding `fps` pictures
        std::vector<std::pair<uint32_t, uint32_t>> seconds; // shown, decoded
        uint32_t mark = 0;
        feed.play(terminalFrames(stream("176x144", c.fps, c.fps * 5), c.fps, 0), 0, false, [&] {
            const uint32_t now = feed.player.Elapsed() / 1000;
            if (now != mark) {
                mark = now;
                seconds.emplace_back(feed.player.stats.shown, feed.player.stats.decoded);
            }
        });
        ASSERT_GE(seconds.size(), 4u) << c.fps;
        // The seconds after the first full one, whose decoded count is known by then.
        for (size_t i = 2; i + 1 < seconds.size(); ++i) {
            const auto [shown, decoded] = seconds[i];
            EXPECT_EQ(decoded, static_cast<uint32_t>(c.fps)) << c.fps << " second " << i;
            if (c.everyPicture) {
                EXPECT_EQ(shown, decoded) << c.fps << " second " << i;
            } else {
                EXPECT_NEAR(shown, decoded / 2.0, 1.0) << c.fps << " second " << i;
            }
        }
    }
}

TEST_F(PlayerExternal, FullDiskStopsRecordingNotPlaying) {
    const auto frames = terminalFrames(stream("352x288", 25, 125), 25, media::kPtAdpcm);
    const fs::path file = dir / "full.flv";
    Feed feed;
    long long budget = 60000;
    feed.player.recorder.openFile = fullDiskOpener(budget);
    feed.player.StartRecording(file.string());
    int takenWhenFull = -1;
    feed.play(frames, 0, true, [&] {
        if (takenWhenFull < 0 && !feed.player.recorder.isOpen() && feed.player.recording)
            takenWhenFull = feed.taken;
    });
    ASSERT_GE(takenWhenFull, 0) << "the disk never filled up";
    EXPECT_GT(feed.taken, takenWhenFull + 50); // pictures went on
    feed.player.Stop();
    const Probe p = checkFlv(file);
    EXPECT_EQ(p.codecs, "h264\naac\n");
    EXPECT_LE(fs::file_size(file), 60000u);
    EXPECT_NE(p.tags.find("TAG:filesize=" + std::to_string(fs::file_size(file)) + "\n"),
              std::string::npos);
}

} // namespace
