// tavrina-rtpdump: reads a stream capture (packets back to back) through the extractor and
// prints its packets or assembled frames; optionally writes the video as an H.264 byte stream.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "media/RTP1078Exp.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace {

constexpr size_t kBlock = 4096;

struct Options {
    bool frames = false;
    std::string h264Out;
    std::string input;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Counts {
    unsigned long packets = 0, frames = 0, video = 0, audio = 0, other = 0;
};

void printHeader(const media::RTPmeta& m) {
    std::printf("seq=%u pt=%u type=%u sub=%u sim=%s ch=%u ts=%u len=%u\n", m.seq, m.PT, m.dataType,
                m.subPacket, m.simch.sim.c_str(), m.simch.channel, m.timestamp, m.length);
}

void fail(const std::string& gbkMessage, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", util::gbkToUtf8(gbkMessage).c_str(), detail.c_str());
}

int usage() {
    std::fprintf(stderr, "usage: tavrina-rtpdump [--packets|--frames] [--h264 OUT] FILE\n");
    return 2;
}

bool parseArgs(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--packets") {
            opt.frames = false;
        } else if (arg == "--frames") {
            opt.frames = true;
        } else if (arg == "--h264" && i + 1 < argc) {
            opt.h264Out = argv[++i];
        } else if (arg.starts_with("--") || !opt.input.empty()) {
            return false;
        } else {
            opt.input = arg;
        }
    }
    return !opt.input.empty();
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parseArgs(argc, argv, opt)) return usage();

    File in(std::fopen(opt.input.c_str(), "rb"));
    if (!in) {
        fail("打开文件失败"_gbk, opt.input);
        return 1;
    }
    File h264;
    if (!opt.h264Out.empty()) {
        h264.reset(std::fopen(opt.h264Out.c_str(), "wb"));
        if (!h264) {
            fail("创建文件失败。"_gbk, opt.h264Out);
            return 1;
        }
    }

    Counts n;
    media::RTP1078Exp exp;
    exp.OnPacket = [&](const media::RTP_data& p) {
        ++n.packets;
        if (!opt.frames) printHeader(p.meta);
    };
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        ++n.frames;
        const bool video = h.dataType <= media::kVideoB;
        n.video += video;
        n.audio += h.dataType == media::kAudio;
        n.other += !video && h.dataType != media::kAudio;
        if (opt.frames) printHeader(h);
        if (h264 && video && h.PT == media::kPtH264)
            std::fwrite(body.data(), 1, body.size(), h264.get());
    };

    char block[kBlock];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in.get())) > 0)
        exp.Feed(std::string_view(block, got));

    if (h264 && std::fclose(h264.release()) != 0) {
        fail("创建文件失败。"_gbk, opt.h264Out);
        return 1;
    }
    std::printf(
        "summary packets=%lu frames=%lu video_frames=%lu audio_frames=%lu other_frames=%lu\n",
        n.packets, n.frames, n.video, n.audio, n.other);
    return 0;
}
