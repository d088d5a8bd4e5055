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

#include "BenchStream.h"
#include "media/AvHandles.h"
#include "media/Decodesps.h"
#include "media/Hi_H264DeCode.h"

namespace {

using Ctx = media::AvCodecContextPtr;
using Frame = media::AvFramePtr;
using Packet = media::AvPacketPtr;

using bench::kPictures;
using bench::stream;

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
