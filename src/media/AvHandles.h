#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace media {

// libavcodec's handles, each freed by its own function.
struct AvCodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFree>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;

} // namespace media
