// Hi_H264DeCode fed unit by unit (as the player feeds it: each NAL unit with its 4-byte start
// code) against bare libavcodec fed whole access units, both on one thread, on D1 and 720p
// streams made here with libx264 (100 pictures, a key frame every 50). Ratio at the end.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "media/AvHandles.h"
#include "media/Decodesps.h"
#include "media/Hi_H264DeCode.h"

namespace {

using Ctx = media::AvCodecContextPtr;
using Frame = media::AvFramePtr;
using Packet = media::AvPacketPtr;

constexpr int kPictures = 100;

// Access units with every start code in the 4-byte form, as terminals send them.
std::string fourByteStartCodes(const uint8_t* d, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (i + 3 <= n && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && (i == 0 || d[i - 1] != 0))
            out += '\0';
        out += static_cast<char>(d[i]);
    }
    return out;
}

const std::vector<std::string>& stream(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<std::string>> made;
    std::vector<std::string>& aus = made[{width, height}];
    if (!aus.empty()) return aus;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return aus;
    Ctx enc(avcodec_alloc_context3(codec));
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
    Frame f(av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    av_frame_get_buffer(f.get(), 0);
    Packet pkt(av_packet_alloc());
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

void BM_HiDecodeUnits(benchmark::State& state) {
    const auto& aus = stream(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (aus.size() != kPictures) return state.SkipWithError("no libx264 to make the stream");
    int64_t pictures = 0;
    for (auto _ : state) {
        media::Hi_H264DeCode decoder;
        decoder.Create();
        for (const std::string& au : aus) {
            const auto* d = reinterpret_cast<const uint8_t*>(au.data());
            int pos = 0;
            media::NalUnit u;
            while (media::NextNalUnit(d, static_cast<int>(au.size()), pos, true, u))
                pictures += decoder.Decode(u.data - 4, u.size + 4) == 0;
        }
    }
    if (pictures != kPictures * static_cast<int64_t>(state.iterations()))
        state.SkipWithError("pictures lost");
    state.SetItemsProcessed(pictures);
}

void BM_BareLibavcodec(benchmark::State& state) {
    const auto& aus = stream(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (aus.size() != kPictures) return state.SkipWithError("no libx264 to make the stream");
    int64_t pictures = 0;
    Frame frame(av_frame_alloc());
    Packet pkt(av_packet_alloc());
    for (auto _ : state) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        Ctx ctx(avcodec_alloc_context3(codec));
        ctx->thread_count = 1;
        avcodec_open2(ctx.get(), codec, nullptr);
        auto receive = [&] {
            while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
                ++pictures;
                av_frame_unref(frame.get());
            }
        };
        for (const std::string& au : aus) {
            av_new_packet(pkt.get(), static_cast<int>(au.size()));
            std::memcpy(pkt->data, au.data(), au.size());
            avcodec_send_packet(ctx.get(), pkt.get());
            av_packet_unref(pkt.get());
            receive();
        }
        avcodec_send_packet(ctx.get(), nullptr);
        receive();
    }
    if (pictures != kPictures * static_cast<int64_t>(state.iterations()))
        state.SkipWithError("pictures lost");
    state.SetItemsProcessed(pictures);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({704, 576})->Args({1280, 720})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_BareLibavcodec)->Apply(sizes);
BENCHMARK(BM_HiDecodeUnits)->Apply(sizes);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred) seconds[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* size : {"/704/576", "/1280/720"}) {
            const double bare = seconds[std::string("BM_BareLibavcodec") + size];
            const double ours = seconds[std::string("BM_HiDecodeUnits") + size];
            if (bare > 0 && ours > 0)
                std::cout << "Hi_H264DeCode unit by unit" << size << ": " << bare / ours
                          << "x the speed of bare libavcodec\n";
        }
    }

private:
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
