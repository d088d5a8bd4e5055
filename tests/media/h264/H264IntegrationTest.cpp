// External truth for the H.264 pieces: streams made by ffmpeg (libx264) at test time, the SPS
// reader checked against ffprobe and every decoded picture against ffmpeg's framemd5.

#include <gtest/gtest.h>

#include "support/RunCommand.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "media/Decodesps.h"
#include "media/Hi_H264DeCode.h"
#include "media/RTP1078Exp.h"
#include "util/Digest.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::string capture(const std::string& command) {
    return tavrina_test::runCommand(command, false).out;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The NAL units of a byte stream written with 3- or 4-byte start codes.
std::vector<Bytes> nalUnits(const std::string& s) {
    std::vector<size_t> starts; // first byte of each unit
    for (size_t i = 0; i + 3 <= s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) starts.push_back(i + 3);
    std::vector<Bytes> units;
    for (size_t n = 0; n < starts.size(); ++n) {
        size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : s.size();
        while (end > starts[n] && s[end - 1] == 0)
            --end; // the zero byte of a 4-byte start code, or trailing zeros
        units.emplace_back(s.begin() + static_cast<long>(starts[n]),
                           s.begin() + static_cast<long>(end));
    }
    return units;
}

// Groups units into access units, each unit behind a 4-byte start code as terminals send it.
std::vector<std::string> accessUnits(const std::string& stream) {
    std::vector<std::string> aus;
    bool sawSlice = false;
    for (const Bytes& u : nalUnits(stream)) {
        if (u.empty()) continue;
        const int type = u[0] & 0x1F;
        const bool slice = type == 1 || type == 5;
        // first_mb_in_slice == 0 is the single bit 1 after the header.
        const bool newPicture = slice ? u.size() > 1 && (u[1] & 0x80) : (type >= 6 && type <= 9);
        if (aus.empty() || (sawSlice && newPicture)) {
            aus.emplace_back();
            sawSlice = false;
        }
        sawSlice = sawSlice || slice;
        aus.back() += std::string("\0\0\0\1", 4);
        aus.back().append(u.begin(), u.end());
    }
    return aus;
}

// The access units packed into stream packets and cut out again, as the player receives them.
std::vector<std::string> throughPackets(const std::vector<std::string>& aus) {
    media::RTP1078Exp exp;
    std::vector<std::string> frames;
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        if (h.PT == media::kPtH264) frames.emplace_back(body);
    };
    media::RTPmeta h;
    h.PT = media::kPtH264;
    h.simch = {"00000000013912345678", 1};
    uint16_t seq = 0;
    for (size_t n = 0; n < aus.size(); ++n) {
        h.dataType = aus[n].find(std::string("\0\0\0\1\x65", 5)) != std::string::npos
                         ? media::kVideoI
                         : media::kVideoP;
        h.timestamp = static_cast<uint32_t>(40 * n);
        exp.Feed(media::RTP1078Exp::BuildPackets(h, aus[n], seq));
    }
    return frames;
}

struct Decoded {
    std::vector<media::SpsInfo> sps;
    std::vector<std::string> md5s;
    std::vector<std::pair<int, int>> sizes;
    std::vector<int> results;
};

std::string pictureMd5(const media::Hi_H264DeCode& d) {
    int w = 0, h = 0;
    uint32_t ts = 0;
    if (!d.Picture(w, h, ts)) return {};
    const media::Hi_H264DeCode::Output& o = d.output();
    std::string yuv;
    for (int r = 0; r < h; ++r)
        yuv.append(reinterpret_cast<const char*>(o.y) + static_cast<ptrdiff_t>(r) * o.yStride, w);
    for (const uint8_t* plane : {o.u, o.v})
        for (int r = 0; r < h / 2; ++r)
            yuv.append(reinterpret_cast<const char*>(plane) +
                           static_cast<ptrdiff_t>(r) * o.uvStride,
                       w / 2);
    return util::md5Hex(yuv);
}

// Decodes frames unit by unit as the channel player does: a new decoder at every SPS of
// another size.
Decoded decodeFrames(const std::vector<std::string>& frames) {
    Decoded out;
    media::Hi_H264DeCode decoder;
    media::SpsInfo last;
    bool reinit = true;
    for (const std::string& f : frames) {
        const auto* data = reinterpret_cast<const uint8_t*>(f.data());
        int pos = 0;
        media::NalUnit unit;
        while (media::NextNalUnit(data, static_cast<int>(f.size()), pos, true, unit)) {
            if (unit.type == 7 && unit.size >= 1 && unit.size < 1024) {
                Bytes copy(unit.data, unit.data + unit.size);
                media::SpsInfo info;
                if (media::ParseSps(copy.data(), unit.size, info)) {
                    out.sps.push_back(info);
                    if (info.width != last.width || info.height != last.height) reinit = true;
                    last = info;
                }
                if (reinit) {
                    reinit = false;
                    EXPECT_TRUE(decoder.Create());
                }
            }
            const int result = decoder.Decode(unit.data - 4, unit.size + 4);
            out.results.push_back(result);
            if (result == media::Hi_H264DeCode::kRecreate) reinit = true;
            if (result != media::Hi_H264DeCode::kPicture) continue;
            int w = 0, h = 0;
            uint32_t ts = 0;
            EXPECT_TRUE(decoder.Picture(w, h, ts));
            out.sizes.emplace_back(w, h);
            out.md5s.push_back(pictureMd5(decoder));
        }
    }
    return out;
}

class H264External : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (capture("ffmpeg -version 2>/dev/null").find("libx264") == std::string::npos)
            GTEST_SKIP() << "ffmpeg with libx264 is needed (scripts/bootstrap installs it)";
        char tmpl[] = "/tmp/tavrina-h264-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    static void TearDownTestSuite() {
        if (!dir.empty()) fs::remove_all(dir);
        dir.clear();
    }

    // Encodes `frames` pictures of the moving test card; returns the stream file.
    static fs::path encode(const std::string& name, const std::string& size,
                           const std::string& rate, int frames, const std::string& options) {
        const fs::path out = dir / (name + ".h264");
        const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + size +
                                ":rate=" + rate + " -frames:v " + std::to_string(frames) +
                                " -c:v libx264 -bf 0 -pix_fmt yuv420p " + options + " " +
                                out.string() + " 2>&1";
        const std::string err = capture(cmd);
        EXPECT_TRUE(fs::exists(out) && fs::file_size(out) > 0) << cmd << "\n" << err;
        return out;
    }

    static std::vector<std::string> framemd5(const fs::path& stream) {
        std::istringstream lines(capture("ffmpeg -nostdin -v error -i " + stream.string() +
                                         " -f framemd5 - 2>/dev/null"));
        std::vector<std::string> md5s;
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] == '#') continue;
            md5s.push_back(line.substr(line.rfind(',') + 1));
            md5s.back().erase(0, md5s.back().find_first_not_of(' '));
        }
        return md5s;
    }

    struct Probe {
        int width = 0, height = 0;
        double rate = 0;
    };
    static Probe probe(const fs::path& stream) {
        const std::string csv = capture("ffprobe -v error -select_streams v:0 -show_entries "
                                        "stream=width,height,r_frame_rate -of csv=p=0 " +
                                        stream.string());
        Probe p;
        int num = 0, den = 1;
        if (std::sscanf(csv.c_str(), "%d,%d,%d/%d", &p.width, &p.height, &num, &den) == 4 && den)
            p.rate = static_cast<double>(num) / den;
        return p;
    }

    static inline fs::path dir;
};

struct StreamCase {
    const char* name;
    const char* size;
    const char* rate;
    int frames;
    int slices; // per picture
    const char* options;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class H264Streams : public H264External, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(H264Streams, SpsMatchesFfprobeAndPicturesMatchFramemd5) {
    const StreamCase& c = GetParam();
    const fs::path stream = encode(c.name, c.size, c.rate, c.frames, c.options);
    const Probe want = probe(stream);
    ASSERT_GT(want.width, 0);
    ASSERT_GT(want.rate, 0);
    const std::vector<std::string> md5s = framemd5(stream);
    ASSERT_EQ(md5s.size(), static_cast<size_t>(c.frames));

    const std::vector<std::string> aus = accessUnits(readFile(stream));
    ASSERT_EQ(aus.size(), static_cast<size_t>(c.frames));
    size_t slices = 0;
    for (const std::string& au : aus) {
        int pos = 0;
        media::NalUnit u;
        while (media::NextNalUnit(reinterpret_cast<const uint8_t*>(au.data()),
                                  static_cast<int>(au.size()), pos, true, u))
            slices += u.type == 1 || u.type == 5;
    }
    EXPECT_EQ(slices, static_cast<size_t>(c.frames * c.slices));
    const Decoded got = decodeFrames(throughPackets(aus));
    ASSERT_FALSE(got.sps.empty());
    for (const media::SpsInfo& s : got.sps) {
        EXPECT_EQ(s.width, want.width);
        EXPECT_EQ(s.height, want.height);
        EXPECT_EQ(s.frameRate, static_cast<int>(std::ceil(want.rate)));
    }
    // Every picture once, in order, the same bytes, also when its slices came one by one.
    EXPECT_EQ(got.md5s, md5s);
    for (const auto& [w, h] : got.sizes) {
        EXPECT_EQ(w, want.width);
        EXPECT_EQ(h, want.height);
    }
}

const StreamCase kStreams[] = {
    {"CifBaseline", "352x288", "25", 6, 1, "-preset ultrafast -profile:v baseline -g 3"},
    {"D1FixedRate", "704x576", "25", 4, 1, "-preset ultrafast -x264-params force-cfr=1"},
    {"Hd720High8x8", "1280x720", "30000/1001", 3, 1, "-preset veryfast -profile:v high"},
    {"Hd1080Cropped", "1920x1080", "25", 3, 1, "-preset ultrafast -profile:v high"},
    {"D1FourSlices", "704x576", "15", 4, 4, "-preset ultrafast -x264-params slices=4"},
    {"CifThreeSlicesCabac", "352x288", "50", 4, 3, "-preset veryfast -x264-params slices=3"},
};

INSTANTIATE_TEST_SUITE_P(Generated, H264Streams, ::testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(H264External, ResolutionChangeMidStream) {
    const fs::path a = encode("changeA", "352x288", "25", 3, "-preset ultrafast");
    const fs::path b = encode("changeB", "640x360", "25", 3, "-preset ultrafast");
    std::vector<std::string> aus = accessUnits(readFile(a));
    for (std::string& au : accessUnits(readFile(b)))
        aus.push_back(std::move(au));
    std::vector<std::string> want = framemd5(a);
    for (std::string& m : framemd5(b))
        want.push_back(std::move(m));

    const Decoded got = decodeFrames(throughPackets(aus));
    EXPECT_EQ(got.md5s, want);
    ASSERT_EQ(got.sizes.size(), 6u);
    EXPECT_EQ(got.sizes.front(), std::make_pair(352, 288));
    EXPECT_EQ(got.sizes.back(), std::make_pair(640, 360));
    ASSERT_EQ(got.sps.size(), 2u);
    EXPECT_EQ(got.sps[1].width, 640);
    EXPECT_EQ(got.sps[1].height, 360);

    // One decoder left alone through the change copes as well.
    media::Hi_H264DeCode one;
    std::vector<std::string> md5s;
    for (const std::string& au : aus) {
        int pos = 0;
        media::NalUnit u;
        const auto* d = reinterpret_cast<const uint8_t*>(au.data());
        while (media::NextNalUnit(d, static_cast<int>(au.size()), pos, true, u))
            if (one.Decode(u.data - 4, u.size + 4) == 0) md5s.push_back(pictureMd5(one));
    }
    EXPECT_EQ(md5s, want);
}

TEST_F(H264External, PicturesWiderThan1920AreRefused) {
    // 121 macroblocks wide: the SPS reader reports it, the decoder shows nothing of it.
    const fs::path s = encode("wide", "1936x144", "25", 2, "-preset ultrafast");
    const Decoded got = decodeFrames(throughPackets(accessUnits(readFile(s))));
    ASSERT_FALSE(got.sps.empty());
    EXPECT_EQ(got.sps[0].width, 1936);
    EXPECT_TRUE(got.md5s.empty());
    for (int r : got.results)
        EXPECT_NE(r, media::Hi_H264DeCode::kPicture);
}

TEST_F(H264External, RealTerminalCapture) {
    const std::string file = std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp";
    const std::string bytes = readFile(file);
    ASSERT_FALSE(bytes.empty()) << file;
    media::RTP1078Exp exp;
    std::vector<std::string> frames;
    std::string stream;
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        if (h.PT != media::kPtH264 || h.dataType > media::kVideoB) return;
        frames.emplace_back(body);
        stream += body;
    };
    exp.Feed(bytes);
    ASSERT_EQ(frames.size(), 41u);

    const Decoded got = decodeFrames(frames);
    // The first frame refers to a PPS the capture does not hold: no picture, no harm.
    EXPECT_NE(got.results.front(), media::Hi_H264DeCode::kPicture);
    ASSERT_EQ(got.md5s.size(), 40u);
    for (const auto& size : got.sizes)
        EXPECT_EQ(size, std::make_pair(640, 480));
    for (const media::SpsInfo& s : got.sps) {
        EXPECT_EQ(s.width, 640);
        EXPECT_EQ(s.height, 480);
    }
    const fs::path raw = dir / "capture.h264";
    std::ofstream(raw, std::ios::binary) << stream;
    EXPECT_EQ(got.md5s, framemd5(raw));
}

TEST_F(H264External, RtpdumpSpsAndDecode) {
    const std::string file = std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp";
    const std::string tool = std::string(TAVRINA_BINARY_DIR) + "/bin/tavrina-rtpdump";
    const std::string out = capture(tool + " --frames --sps --decode " + file);
    EXPECT_NE(out.find("\nsps width=640 height=480 fps=25\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\npicture 1 640x480\n"), std::string::npos);
    EXPECT_NE(out.find("\npicture 40 640x480\n"), std::string::npos);
    EXPECT_EQ(out.find("\npicture 41 "), std::string::npos);
    EXPECT_NE(out.find(" pictures=40 width=640 height=480\n"), std::string::npos) << out;
}

} // namespace
