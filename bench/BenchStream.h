#pragma once

// D1/720p test streams for the benchmarks, made here with libx264: kPictures pictures at 25 a
// second, a key frame every 50, as access units with 4-byte start codes (as terminals send
// them). Made once per size and kept.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "media/AvHandles.h"

namespace bench {

constexpr int kPictures = 100; // 4 s at 25 a second

// Access units with every start code in the 4-byte form, as terminals send them.
inline std::string fourByteStartCodes(const uint8_t* d, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (i + 3 <= n && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && (i == 0 || d[i - 1] != 0))
            out += '\0';
        out += static_cast<char>(d[i]);
    }
    return out;
}

inline const std::vector<std::string>& stream(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<std::string>> made;
    std::vector<std::string>& aus = made[{width, height}];
    if (!aus.empty()) return aus;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return aus;
    media::AvCodecContextPtr enc(avcodec_alloc_context3(codec));
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, 25};
    enc->framerate = {25, 1};
    enc->gop_size = 50;
    enc->max_b_frames = 0;
    enc->bit_rate = width * height * 4; // about 1.6 Mbit/s at D1
    av_opt_set(enc->priv_data, "preset", "veryfast", 0);
    if (avcodec_open2(enc.get(), codec, nullptr) < 0) return aus;
    media::AvFramePtr f(av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    av_frame_get_buffer(f.get(), 0);
    media::AvPacketPtr pkt(av_packet_alloc());
    auto drain = [&] {
        while (avcodec_receive_packet(enc.get(), pkt.get()) == 0) {
            aus.push_back(fourByteStartCodes(pkt->data, static_cast<size_t>(pkt->size)));
            av_packet_unref(pkt.get());
        }
    };
    for (int n = 0; n < kPictures; ++n) {
        av_frame_make_writable(f.get());
        // A moving pattern with detail, so that motion search and residuals have work.
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                f->data[0][r * f->linesize[0] + c] =
                    static_cast<uint8_t>((c + 3 * n) ^ (r + 2 * n) ^ ((c * r) >> 7));
        for (int p = 1; p < 3; ++p)
            for (int r = 0; r < height / 2; ++r)
                for (int c = 0; c < width / 2; ++c)
                    f->data[p][r * f->linesize[p] + c] =
                        static_cast<uint8_t>(128 + ((c + r * p + n) & 63) - 32);
        f->pts = n;
        avcodec_send_frame(enc.get(), f.get());
        drain();
    }
    avcodec_send_frame(enc.get(), nullptr);
    drain();
    return aus;
}

} // namespace bench
