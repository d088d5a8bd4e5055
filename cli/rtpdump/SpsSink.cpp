// --sps: a line "sps width=W height=H fps=F" for every SPS in the H.264 video frames.

#include <cstdio>
#include <cstring>
#include <memory>

#include "media/Decodesps.h"
#include "rtpdump/RtpdumpSink.h"

namespace rtpdump {
namespace {

class SpsSink : public RtpdumpSink {
public:
    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType > media::kVideoB || h.PT != media::kPtH264) return;
        media::ForEachNalUnit(body, [this](const media::NalUnit& unit) {
            // The player's bounds: larger units are not taken for an SPS.
            if (unit.type != 7 || unit.size < 1 || unit.size >= 1024) return;
            uint8_t copy[1024];
            std::memcpy(copy, unit.data, static_cast<size_t>(unit.size));
            media::SpsInfo info;
            if (media::ParseSps(copy, unit.size, info)) {
                std::printf("sps width=%d height=%d fps=%d\n", info.width, info.height,
                            info.frameRate);
                ++count;
            }
        });
    }
    std::string summaryFields() const override { return "sps=" + std::to_string(count); }

private:
    unsigned long count = 0;
};

const bool registered = registerOption({"--sps", "", "print the size and frame rate of every SPS",
                                        [](const std::string&) -> std::unique_ptr<RtpdumpSink> {
                                            return std::make_unique<SpsSink>();
                                        }});

} // namespace
} // namespace rtpdump
