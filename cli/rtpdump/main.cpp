// tavrina-rtpdump: reads a stream capture (packets back to back) through the extractor in
// 4096-byte blocks and prints its packets or assembled frames; each further option adds a sink.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/RTP1078Exp.h"
#include "rtpdump/RtpdumpSink.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace rtpdump {

namespace {

constexpr size_t kBlock = 4096;

std::vector<RtpdumpOption>& registry() {
    static std::vector<RtpdumpOption> all;
    return all;
}

void printHeader(const media::RTPmeta& m) {
    std::printf("seq=%u pt=%u type=%u sub=%u sim=%s ch=%u ts=%u len=%u\n", m.seq, m.PT, m.dataType,
                m.subPacket, m.simch.sim.c_str(), m.simch.channel, m.timestamp, m.length);
}

// The listing and the counts of the summary line.
class ListSink : public RtpdumpSink {
public:
    bool frames = false;

    void onPacket(const media::RTP_data& p) override {
        ++packets;
        if (!frames) printHeader(p.meta);
    }
    void onFrame(const media::RTPmeta& h, std::string_view) override {
        ++frameCount;
        const bool isVideo = h.dataType <= media::kVideoB;
        video += isVideo;
        audio += h.dataType == media::kAudio;
        other += !isVideo && h.dataType != media::kAudio;
        if (frames) printHeader(h);
    }
    std::string summaryFields() const override {
        return "packets=" + std::to_string(packets) + " frames=" + std::to_string(frameCount) +
               " video_frames=" + std::to_string(video) + " audio_frames=" +
               std::to_string(audio) + " other_frames=" + std::to_string(other);
    }

private:
    unsigned long packets = 0, frameCount = 0, video = 0, audio = 0, other = 0;
};

int usage() {
    std::fprintf(stderr, "usage: tavrina-rtpdump [--packets|--frames]");
    for (const RtpdumpOption& o : registry())
        std::fprintf(stderr, " [%s%s%s]", o.name.c_str(), o.argName.empty() ? "" : " ",
                     o.argName.c_str());
    std::fprintf(stderr, " FILE\n");
    for (const RtpdumpOption& o : registry())
        std::fprintf(stderr, "  %-10s %s\n", o.name.c_str(), o.help.c_str());
    return 2;
}

struct Request {
    const RtpdumpOption* option;
    std::string arg;
};

} // namespace

bool registerOption(RtpdumpOption option) {
    registry().push_back(std::move(option));
    return true;
}

const std::vector<RtpdumpOption>& options() { return registry(); }

void complain(const std::string& gbkMessage, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", util::gbkToUtf8(gbkMessage).c_str(), detail.c_str());
}

} // namespace rtpdump

int main(int argc, char** argv) {
    using namespace rtpdump;
    auto list = std::make_shared<ListSink>();
    std::vector<Request> requests;
    std::string input;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--packets" || arg == "--frames") {
            list->frames = arg == "--frames";
            continue;
        }
        const RtpdumpOption* found = nullptr;
        for (const RtpdumpOption& o : options())
            if (o.name == arg) found = &o;
        if (found != nullptr) {
            if (!found->argName.empty() && i + 1 >= argc) return usage();
            requests.push_back({found, found->argName.empty() ? std::string() : argv[++i]});
        } else if (arg.starts_with("--") || !input.empty()) {
            return usage();
        } else {
            input = arg;
        }
    }
    if (input.empty()) return usage();

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> in(std::fopen(input.c_str(), "rb"));
    if (!in) {
        complain("打开文件失败"_gbk, input);
        return 1;
    }
    std::vector<std::shared_ptr<RtpdumpSink>> sinks{list};
    for (const Request& r : requests) {
        std::shared_ptr<RtpdumpSink> sink = r.option->make(r.arg);
        if (!sink) return 1;
        sinks.push_back(std::move(sink));
    }

    media::RTP1078Exp exp;
    exp.OnPacket = [&](const media::RTP_data& p) {
        for (auto& s : sinks) s->onPacket(p);
    };
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        for (auto& s : sinks) s->onFrame(h, body);
    };
    char block[kBlock];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in.get())) > 0)
        exp.Feed(std::string_view(block, got));

    bool ok = true;
    std::string summary = "summary";
    for (auto& s : sinks) {
        ok = s->finish() && ok;
        const std::string fields = s->summaryFields();
        if (!fields.empty()) summary += " " + fields;
    }
    std::printf("%s\n", summary.c_str());
    return ok ? 0 : 1;
}
