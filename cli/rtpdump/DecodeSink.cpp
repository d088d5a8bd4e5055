// --decode: decodes every H.264 video frame unit by unit as a channel player does, recreating
// the decoder at a size change, after every fifth IDR picture and when it asks for it; a line
// "picture N WxH" per picture.

#include <cstdio>
#include <cstring>
#include <memory>

#include "media/Decodesps.h"
#include "media/Hi_H264DeCode.h"
#include "rtpdump/RtpdumpSink.h"

namespace rtpdump {
namespace {

class DecodeSink : public RtpdumpSink {
public:
    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType > media::kVideoB || h.PT != media::kPtH264) return;
        media::ForEachNalUnit(body, [this](const media::NalUnit& unit) { decodeUnit(unit); });
    }

    std::string summaryFields() const override {
        return "pictures=" + std::to_string(pictures) + " width=" + std::to_string(width) +
               " height=" + std::to_string(height);
    }

private:
    void decodeUnit(const media::NalUnit& unit) {
        if (unit.type == 7 && unit.size >= 1 && unit.size < 1024) {
            uint8_t copy[1024];
            std::memcpy(copy, unit.data, static_cast<size_t>(unit.size));
            media::SpsInfo info;
            if (media::ParseSps(copy, unit.size, info) &&
                (info.width != spsWidth || info.height != spsHeight)) {
                spsWidth = info.width;
                spsHeight = info.height;
                reinit = true;
            }
            if (reinit) {
                reinit = false;
                decoder.Create();
            }
        }
        // The unit's start code lies directly before it.
        const int result = decoder.Decode(unit.data - 4, unit.size + 4);
        if (result == media::Hi_H264DeCode::kRecreate) reinit = true;
        if (result != media::Hi_H264DeCode::kPicture) return;
        if (unit.type == 5 && ++idrCount > 4) {
            idrCount = 0;
            reinit = true;
        }
        int w = 0, hgt = 0;
        uint32_t ts = 0;
        if (!decoder.Picture(w, hgt, ts)) return;
        width = w;
        height = hgt;
        std::printf("picture %lu %dx%d\n", ++pictures, w, hgt);
    }

    media::Hi_H264DeCode decoder;
    bool reinit = true;
    int idrCount = 0;
    int spsWidth = 0, spsHeight = 0;
    unsigned long pictures = 0;
    int width = 0, height = 0;
};

const bool registered =
    registerOption({"--decode", "", "decode the H.264 video frames as a player does",
                    [](const std::string&) -> std::unique_ptr<RtpdumpSink> {
                        return std::make_unique<DecodeSink>();
                    }});

} // namespace
} // namespace rtpdump
