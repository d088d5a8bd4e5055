// The whole channel player pipeline (Input -> Pop -> decode unit by unit -> convert) on D1 and
// 720p streams of 25 pictures a second made here with libx264, against bare libavcodec
// decoding whole access units plus the same conversion of every picture, in the same run.
// Figures are milliseconds of CPU per second of stream; the ratio is printed at the end, with
// the resident memory of one playing player.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <malloc.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "BenchStream.h"
#include "media/AvHandles.h"
#include "media/ColorConvert.h"
#include "media/RTPPlayer.h"
#include "media/VideoFrame.h"
#include "util/Clock.h"

namespace {

using Ctx = media::AvCodecContextPtr;
using Frame = media::AvFramePtr;
using Packet = media::AvPacketPtr;

using bench::kPictures;
using bench::stream;

enum Mode : int64_t { Exact = 0, Fast = 1, FastEveryOther = 2 };

// Plays the stream through a player on a fake clock, 40 ms a frame, the view taking every
// picture; returns the frames played (the buffer keeps its last 200 ms queued).
int64_t playOnce(const std::vector<std::string>& aus, Mode mode, int64_t& converted) {
    util::FakeClock clock(1);
    media::ClockCounter counter(clock);
    media::RTPPlayer player(counter);
    player.Start();
    media::RTPmeta h;
    h.PT = media::kPtH264;
    auto tick = [&] {
        // Holds the every-other rule off, so that every picture is converted.
        if (mode == Fast) player.stats.decoded = 0;
        player.Tick(mode == Exact);
        const uint32_t* bitmap = nullptr;
        converted += player.Take(false, bitmap);
    };
    for (size_t n = 0; n < aus.size(); ++n) {
        h.dataType = n % 50 == 0 ? media::kVideoI : media::kVideoP;
        h.timestamp = static_cast<uint32_t>(40 * n);
        h.length = static_cast<uint32_t>(aus[n].size());
        player.Input(h, aus[n]);
        clock.advanceMs(40);
        tick();
    }
    for (int i = 0; i < 20; ++i) {
        clock.advanceMs(40);
        tick();
    }
    return static_cast<int64_t>(aus.size() - player.buffer.frameCount());
}

void BM_Player(benchmark::State& state) {
    const auto& aus = stream(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (aus.size() != kPictures) return state.SkipWithError("no libx264 to make the stream");
    media::EnsureColorTables();
    int64_t frames = 0, pictures = 0;
    for (auto _ : state)
        frames += playOnce(aus, static_cast<Mode>(state.range(2)), pictures);
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
    state.counters["pictures"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kAvgIterations);
}

void BM_BareDecodeConvert(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto& aus = stream(width, height);
    if (aus.size() != kPictures) return state.SkipWithError("no libx264 to make the stream");
    const bool fast = state.range(2) != Exact;
    media::EnsureColorTables();
    media::VideoFrame picture;
    picture.SizeTo(height, width);
    Frame frame(av_frame_alloc());
    Packet pkt(av_packet_alloc());
    int64_t pictures = 0;
    for (auto _ : state) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        Ctx ctx(avcodec_alloc_context3(codec));
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        avcodec_open2(ctx.get(), codec, nullptr);
        auto receive = [&] {
            while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
                (fast ? media::ConvertFast : media::ConvertExact)(
                    frame->height, frame->width, frame->data[0], frame->data[1], frame->data[2],
                    frame->linesize[0], frame->linesize[1], picture.rowTable());
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
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kAvgIterations);
    state.counters["pictures"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kAvgIterations);
}

void cases(benchmark::internal::Benchmark* b) {
    for (const auto& [w, h] : {std::pair{704, 576}, std::pair{1280, 720}})
        for (int64_t mode : {Exact, Fast})
            b->Args({w, h, mode});
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_BareDecodeConvert)->Apply(cases);
BENCHMARK(BM_Player)->Apply(cases);
BENCHMARK(BM_Player)
    ->Args({704, 576, FastEveryOther})
    ->Args({1280, 720, FastEveryOther})
    ->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            // CPU ms per second of stream: the frames each iteration played, at 25 a second.
            const auto frames = r.counters.find("frames");
            if (frames != r.counters.end() && frames->second.value > 0)
                msPerSecond[r.benchmark_name()] =
                    r.GetAdjustedCPUTime() / (frames->second.value / 25.0);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const char* names[] = {"exact", "fast", "fast, every other picture"};
        for (const char* size : {"/704/576", "/1280/720"})
            for (int mode = Exact; mode <= FastEveryOther; ++mode) {
                const std::string suffix = std::string(size) + "/" + std::to_string(mode);
                const double ours = msPerSecond["BM_Player" + suffix];
                const double bare = msPerSecond["BM_BareDecodeConvert" + std::string(size) + "/" +
                                                std::to_string(mode == Exact ? Exact : Fast)];
                if (ours <= 0 || bare <= 0) continue;
                std::printf("%s %s: player %.1f ms CPU per s of stream, bare decode+convert "
                            "%.1f ms, ratio %.3f\n",
                            size + 1, names[mode], ours, bare, ours / bare);
            }
    }

private:
    std::map<std::string, double> msPerSecond;
};

// Heap bytes in use (libavcodec allocates through malloc as well); a resident-set difference
// would mostly show what earlier runs left to the allocator.
double heapMiB() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd) / (1 << 20);
}

// One player kept playing (its buffer holding what is queued, a decoder, a bitmap): what it
// adds to the heap. The conversion tables are shared by every player and built first.
void reportMemory() {
    media::EnsureColorTables();
    for (const auto& [w, h] : {std::pair{704, 576}, std::pair{1280, 720}}) {
        const auto& aus = stream(w, h);
        if (aus.empty()) continue;
        const double before = heapMiB();
        util::FakeClock clock(1);
        media::ClockCounter counter(clock);
        auto player = std::make_unique<media::RTPPlayer>(counter);
        player->Start();
        media::RTPmeta hd;
        hd.PT = media::kPtH264;
        for (size_t n = 0; n < aus.size(); ++n) {
            hd.dataType = n % 50 == 0 ? media::kVideoI : media::kVideoP;
            hd.timestamp = static_cast<uint32_t>(40 * n);
            player->Input(hd, aus[n]);
            clock.advanceMs(40);
            player->Tick(true);
            const uint32_t* bitmap = nullptr;
            player->Take(false, bitmap);
        }
        std::printf("memory of one playing player at %dx%d: %.1f MiB (%zu frames queued)\n", w, h,
                    heapMiB() - before, player->buffer.frameCount());
    }
}

} // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    reportMemory();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
