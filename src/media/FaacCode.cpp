#include "media/FaacCode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cstring>

#include "util/GbkText.h"

using namespace util::literals;

namespace media {

FaacCode::FaacCode() = default;
FaacCode::~FaacCode() = default;

int FaacCode::bitRateFor(int rate, int ch) {
    // 3 bits a sample: 24 kbit/s for 8 kHz mono speech, where the encoder's default of
    // 128 kbit/s is clamped to its 48 kbit/s ceiling and spends twice what the narrow band
    // needs; wider formats level off at 64 kbit/s a channel.
    return std::min(3 * rate, 64000) * ch;
}

bool FaacCode::openEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        lastError = "初始化AAC编码器失败"_gbk;
        return false;
    }
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    AvFramePtr f(av_frame_alloc());
    AvPacketPtr p(av_packet_alloc());
    if (!ctx || !f || !p) {
        lastError = "初始化AAC编码器失败"_gbk;
        return false;
    }
    ctx->sample_rate = sampleRate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ctx->profile = FF_PROFILE_AAC_LOW;
    ctx->bit_rate = bitRateFor(sampleRate, channels);
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER; // the AudioSpecificConfig in extradata
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0 || ctx->frame_size <= 0 ||
        ctx->extradata_size < 2) {
        lastError = "设置编码器失败"_gbk;
        return false;
    }
    encoder = std::move(ctx);
    frame = std::move(f);
    packet = std::move(p);
    dropNext = true;
    return true;
}

bool FaacCode::Init(int rate, int ch, int bits, bool withAdts) {
    Reset();
    if (bits != 16 && bits != 32) {
        lastError = "采样位数只支持16、32"_gbk;
        return false;
    }
    if (rate < 7350 || rate > 96000 || ch < 1 || ch > 6) {
        lastError = "初始化AAC编码器失败"_gbk;
        return false;
    }
    sampleRate = rate;
    channels = ch;
    bitsPerSample = bits;
    adts = withAdts;
    bytesPerSecond = rate * ch * bits / 8;
    // The silence frame comes from an encoder of its own, so that the recording's encoder
    // starts clean; its first output is the steady near-silent frame, not the step from the
    // encoder's zero padding up to the quiet level.
    if (!openEncoder()) {
        Reset();
        return false;
    }
    frameBytes = static_cast<size_t>(encoder->frame_size) * ch * bits / 8;
    // Samples of the smallest positive value: first byte 1, the rest 0.
    std::string quiet(frameBytes, '\0');
    for (size_t i = 0; i < quiet.size(); i += bits / 8)
        quiet[i] = 1;
    std::string out;
    double ms = 0;
    for (int tries = 0; tries < 8 && out.empty(); ++tries)
        Encode(quiet, out, ms);
    pending.clear();
    if (!openEncoder()) {
        Reset();
        return false;
    }
    silenceFrame = out;
    silenceMs = ms;
    return true;
}

void FaacCode::appendPacket(std::string& aac) const {
    const auto size = static_cast<size_t>(packet->size);
    if (adts) {
        static constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                         22050, 16000, 12000, 11025, 8000,  7350};
        const int index = static_cast<int>(
            std::find(std::begin(kRates), std::end(kRates), sampleRate) - std::begin(kRates));
        const size_t len = size + 7;
        const unsigned char h[7] = {
            0xFF,
            0xF1,
            static_cast<unsigned char>((1 << 6) | (index << 2) | (channels >> 2)),
            static_cast<unsigned char>(((channels & 3) << 6) | (len >> 11)),
            static_cast<unsigned char>((len >> 3) & 0xFF),
            static_cast<unsigned char>(((len & 7) << 5) | 0x1F),
            0xFC};
        aac.append(reinterpret_cast<const char*>(h), sizeof h);
    }
    aac.append(reinterpret_cast<const char*>(packet->data), size);
}

bool FaacCode::encodeChunk(std::string_view pcm, bool drain, std::string& aac, double& durationMs) {
    int sent = 0;
    if (drain) {
        sent = avcodec_send_frame(encoder.get(), nullptr);
    } else {
        const int bytesPerSample = bitsPerSample / 8;
        const int samples = static_cast<int>(pcm.size()) / (bytesPerSample * channels);
        if (samples == 0) return true;
        av_frame_unref(frame.get());
        frame->nb_samples = samples;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = sampleRate;
        if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 ||
            av_frame_get_buffer(frame.get(), 0) < 0)
            return true;
        const auto* in = reinterpret_cast<const unsigned char*>(pcm.data());
        for (int i = 0; i < samples; ++i) {
            for (int c = 0; c < channels; ++c) {
                const unsigned char* s = in + (static_cast<size_t>(i) * channels + c) *
                                                  static_cast<size_t>(bytesPerSample);
                float v = 0;
                if (bytesPerSample == 2) {
                    v = static_cast<int16_t>(s[0] | (s[1] << 8)) / 32768.0f;
                } else {
                    const uint32_t u =
                        s[0] | (s[1] << 8) | (s[2] << 16) | (static_cast<uint32_t>(s[3]) << 24);
                    v = static_cast<float>(static_cast<int32_t>(u) / 2147483648.0);
                }
                reinterpret_cast<float*>(frame->extended_data[c])[i] = v;
            }
        }
        frame->pts = AV_NOPTS_VALUE;
        sent = avcodec_send_frame(encoder.get(), frame.get());
    }
    if (sent < 0) return true; // no output for this call
    const double frameMs = static_cast<double>(encoder->frame_size) * channels * bitsPerSample / 8 *
                           1000.0 / bytesPerSecond;
    while (avcodec_receive_packet(encoder.get(), packet.get()) >= 0) {
        if (dropNext) {
            dropNext = false;
            av_packet_unref(packet.get());
            continue;
        }
        appendPacket(aac);
        durationMs += frameMs;
        av_packet_unref(packet.get());
    }
    return true;
}

bool FaacCode::Encode(std::string_view pcm, std::string& aac, double& durationMs) {
    aac.clear();
    durationMs = 0;
    if (!encoder) return false;
    if (!pcm.empty()) {
        pending.append(pcm);
        // Every whole frame goes in now, so the pending bytes never reach a frame.
        size_t at = 0;
        for (; pending.size() - at >= frameBytes; at += frameBytes)
            encodeChunk(std::string_view(pending).substr(at, frameBytes), false, aac, durationMs);
        pending.erase(0, at);
        return true;
    }
    // Flush: the short remainder, then the encoder's delay. A drained encoder takes no more
    // input, so a fresh one carries on for whatever comes next.
    encodeChunk(pending, false, aac, durationMs);
    pending.clear();
    encodeChunk({}, true, aac, durationMs);
    encoder.reset();
    if (!openEncoder()) Reset();
    return true;
}

bool FaacCode::DecoderConfig(std::string& config) const {
    config.clear();
    if (!encoder || encoder->extradata_size < 2) return false;
    // The object type, rate index and channel configuration; the encoder appends an explicit
    // "no SBR" extension that players do not need.
    config.assign(reinterpret_cast<const char*>(encoder->extradata), 2);
    return true;
}

bool FaacCode::Silence(std::string& out, double& durationMs) const {
    out = silenceFrame;
    durationMs = silenceMs;
    return silenceMs > 0;
}

void FaacCode::Reset() {
    pending.clear();
    encoder.reset();
    frame.reset();
    packet.reset();
    frameBytes = 0;
    silenceFrame.clear();
    silenceMs = 0;
}

} // namespace media
