#include "H264Encoder.h"

#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

namespace sim {

bool H264Encoder::open(int width, int height, int fps) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return false;
    ctx.reset(avcodec_alloc_context3(codec));
    frame.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!ctx || !frame || !packet) return false;
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = fps;
    ctx->max_b_frames = 0;
    ctx->bit_rate = static_cast<int64_t>(width) * height * 3; // about 300 kbit/s at CIF
    ctx->thread_count = 1;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    // Parameter sets before every key frame, so a viewer can join at any second.
    av_opt_set(ctx->priv_data, "x264-params", "repeat-headers=1:scenecut=0", 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    return av_frame_get_buffer(frame.get(), 0) >= 0;
}

bool H264Encoder::encode(const uint8_t* y, const uint8_t* u, const uint8_t* v, Picture& out) {
    if (!ctx || av_frame_make_writable(frame.get()) < 0) return false;
    const int w = ctx->width, h = ctx->height;
    for (int row = 0; row < h; ++row)
        std::memcpy(frame->data[0] + row * frame->linesize[0], y + row * w, static_cast<size_t>(w));
    for (int row = 0; row < h / 2; ++row) {
        std::memcpy(frame->data[1] + row * frame->linesize[1], u + row * (w / 2),
                    static_cast<size_t>(w / 2));
        std::memcpy(frame->data[2] + row * frame->linesize[2], v + row * (w / 2),
                    static_cast<size_t>(w / 2));
    }
    frame->pts = pts++;
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0) return false;
    out.bytes.clear();
    out.key = false;
    while (avcodec_receive_packet(ctx.get(), packet.get()) == 0) {
        out.bytes += withLongStartCodes(packet->data, static_cast<size_t>(packet->size));
        out.key = out.key || (packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet.get());
    }
    return true;
}

std::string withLongStartCodes(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve(size + 16);
    size_t i = 0;
    while (i < size) {
        if (i + 3 <= size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 &&
            (i == 0 || data[i - 1] != 0)) {
            out.append("\0\0\0\1", 4);
            i += 3;
        } else {
            out.push_back(static_cast<char>(data[i++]));
        }
    }
    return out;
}

} // namespace sim
