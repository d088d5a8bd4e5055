// Random NAL units through the decoder wrapper as a player feeds them (unit by unit, a new
// decoder at every SPS, the picture converted both ways): libavcodec must not take the process
// down, and every picture it reports must fit the limits and its planes.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "media/ColorConvert.h"
#include "media/Decodesps.h"
#include "media/Hi_H264DeCode.h"
#include "media/VideoFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 18)) return 0;
    static media::Hi_H264DeCode decoder;
    static media::VideoFrame picture;
    decoder.Create();
    int pos = 0, count = 0;
    media::NalUnit u;
    while (media::NextNalUnit(data, static_cast<int>(size), pos, true, u) && ++count < 256) {
        if (u.type == 7 && u.size >= 1 && u.size < 1024) {
            uint8_t copy[1024];
            std::memcpy(copy, u.data, static_cast<size_t>(u.size));
            media::SpsInfo info;
            if (media::ParseSps(copy, u.size, info) && count % 2 == 0) decoder.Create();
        }
        if (decoder.Decode(u.data - 4, u.size + 4) != 0) continue;
        int w = 0, h = 0;
        uint32_t ts = 0;
        if (!decoder.Picture(w, h, ts)) std::abort();
        if (w <= 0 || h <= 0 || w > 1920 || h > 1920) std::abort();
        const media::Hi_H264DeCode::Output& o = decoder.output();
        if (o.yStride < w || o.uvStride < (w + 1) / 2) std::abort();
        if (!picture.SizeTo(h, w)) continue;
        if (count % 2)
            media::ConvertExact(h, w, o.y, o.u, o.v, o.yStride, o.uvStride, picture.rowTable());
        else
            media::ConvertFast(h, w, o.y, o.u, o.v, o.yStride, o.uvStride, picture.rowTable());
    }
    return 0;
}
