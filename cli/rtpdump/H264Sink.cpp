// --h264 OUT: the bodies of every assembled H.264 video frame, in order, as a byte stream.

#include <cstdio>
#include <memory>

#include "rtpdump/RtpdumpSink.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace rtpdump {
namespace {

class H264Sink : public RtpdumpSink {
public:
    H264Sink(std::FILE* file, std::string path) : out(file), path(std::move(path)) {}

    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType <= media::kVideoB && h.PT == media::kPtH264)
            std::fwrite(body.data(), 1, body.size(), out.get());
    }

    bool finish() override {
        if (std::fclose(out.release()) == 0) return true;
        complain("创建文件失败。"_gbk, path);
        return false;
    }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out;
    std::string path;
};

const bool registered = registerOption(
    {"--h264", "OUT", "write the H.264 video frames to OUT as a byte stream",
     [](const std::string& path) -> std::unique_ptr<RtpdumpSink> {
         std::FILE* f = std::fopen(path.c_str(), "wb");
         if (f == nullptr) {
             complain("创建文件失败。"_gbk, path);
             return nullptr;
         }
         return std::make_unique<H264Sink>(f, path);
     }});

} // namespace
} // namespace rtpdump
