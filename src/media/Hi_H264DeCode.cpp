#include "media/Hi_H264DeCode.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace media {

namespace {

// libavcodec reports every broken unit of a live stream on stderr; a player recovers by itself.
void quietLibrary() {
    static const bool once = [] {
        if (av_log_get_level() > AV_LOG_FATAL) av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)once;
}

// Errors after which the decoder cannot be trusted to continue; everything else is bad data
// that the decoder's own concealment gets over at the next picture.
bool fatal(int err) {
    return err == AVERROR(ENOMEM) || err == AVERROR_BUG || err == AVERROR_BUG2 ||
           err == AVERROR_EOF || err == AVERROR_EXTERNAL || err == AVERROR(EINVAL) ||
           err == AVERROR(ENOSYS);
}

} // namespace

Hi_H264DeCode::Hi_H264DeCode() = default;
Hi_H264DeCode::~Hi_H264DeCode() = default;

bool Hi_H264DeCode::Create() {
    Destroy();
    lastResult = -1;
    decodedCount = 0;
    quietLibrary();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return false;
    AvCodecContextPtr c(avcodec_alloc_context3(codec));
    AvFramePtr f(av_frame_alloc());
    AvPacketPtr p(av_packet_alloc());
    if (!c || !f || !p) return false;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // Units arrive one at a time; a picture is complete when its last macroblock row is.
    c->flags2 |= AV_CODEC_FLAG2_CHUNKS;
    // Bounds what a hostile SPS can make the decoder allocate.
    c->max_pixels = int64_t{kMaxWidth} * kMaxHeight;
    // Cropping is reported, not applied: the bottom offset belongs to the output record.
    c->apply_cropping = 0;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) return false;
    ctx = std::move(c);
    frame = std::move(f);
    packet = std::move(p);
    return true;
}

void Hi_H264DeCode::Destroy() {
    out = Output{};
    packet.reset();
    frame.reset();
    ctx.reset();
}

int Hi_H264DeCode::Decode(const uint8_t* data, int length) {
    out = Output{};
    if (!ctx && !Create()) return lastResult = kRecreate;
    av_frame_unref(frame.get());
    if (data == nullptr || length <= 0) return lastResult = kNoPicture;
    av_packet_unref(packet.get());
    if (av_new_packet(packet.get(), length) < 0) return lastResult = kRecreate;
    std::memcpy(packet->data, data, static_cast<size_t>(length));
    packet->pts = 0;

    int err = avcodec_send_packet(ctx.get(), packet.get());
    if (err == AVERROR(EAGAIN)) {
        // A picture nobody asked for is still queued; it is stale now.
        avcodec_receive_frame(ctx.get(), frame.get());
        av_frame_unref(frame.get());
        err = avcodec_send_packet(ctx.get(), packet.get());
    }
    av_packet_unref(packet.get());
    if (err < 0) return lastResult = fatal(err) ? kRecreate : kRefused;
    err = avcodec_receive_frame(ctx.get(), frame.get());
    if (err == AVERROR(EAGAIN)) return lastResult = kNoPicture;
    if (err < 0) return lastResult = fatal(err) ? kRecreate : kRefused;
    lastResult = takePicture();
    if (lastResult == kPicture) ++decodedCount;
    return lastResult;
}

int Hi_H264DeCode::takePicture() {
    const AVFrame& f = *frame;
    if (f.format != AV_PIX_FMT_YUV420P && f.format != AV_PIX_FMT_YUVJ420P) return kRefused;
    if (f.width > kMaxWidth || f.height > kMaxHeight || f.width <= 0 || f.height <= 0)
        return kRefused;
    const int top = static_cast<int>(f.crop_top), left = static_cast<int>(f.crop_left);
    const int right = static_cast<int>(f.crop_right), bottom = static_cast<int>(f.crop_bottom);
    if (left + right >= f.width || top + bottom >= f.height) return kRefused;
    // Top and side cropping move the planes; the bottom offset is the caller's to apply.
    out.yStride = f.linesize[0];
    out.uvStride = f.linesize[1];
    out.y = f.data[0] + static_cast<ptrdiff_t>(top) * out.yStride + left;
    out.u = f.data[1] + static_cast<ptrdiff_t>(top / 2) * out.uvStride + left / 2;
    out.v = f.data[2] + static_cast<ptrdiff_t>(top / 2) * f.linesize[2] + left / 2;
    out.width = f.width - left - right;
    out.height = f.height - top;
    out.bottomCrop = bottom;
    out.pts = f.pts == AV_NOPTS_VALUE ? 0 : static_cast<uint64_t>(f.pts);
    return kPicture;
}

bool Hi_H264DeCode::Picture(int& width, int& height, uint32_t& timestamp) const {
    if (lastResult != kPicture || out.y == nullptr) return false;
    width = out.width;
    height = out.height - out.bottomCrop;
    timestamp = static_cast<uint32_t>(out.pts);
    return true;
}

} // namespace media
