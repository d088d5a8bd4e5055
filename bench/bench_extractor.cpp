// Extractor throughput on a realistic live stream: D1 video frames cut into 950-byte
// sub-packets, mixed with 168-byte audio frames, fed in 1024-byte reads (as the connection
// reads) and whole; compared with memcpy of the same bytes in the same run.

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>

#include "media/RTP1078Exp.h"

namespace {

struct Stream {
    std::string bytes;
    size_t packets = 0;
};

// 25 pictures a second (a 48 KB key frame every 50, 6 KB otherwise, about 1.3 Mbit/s) and an
// audio frame every 40 ms, on four channels of one terminal.
const Stream& stream(size_t size) {
    static std::map<size_t, Stream> made;
    Stream& s = made[size];
    if (!s.bytes.empty()) return s;
    std::mt19937 rng(7);
    uint16_t seq = 0;
    media::RTPmeta video, audio;
    video.PT = media::kPtH264;
    video.simch = {"00000000013912345678", 1};
    audio.PT = media::kPtAdpcm;
    audio.dataType = media::kAudio;
    audio.simch = video.simch;
    std::string payload(64 * 1024, '\0');
    for (char& c : payload)
        c = static_cast<char>(rng());
    for (uint32_t n = 0; s.bytes.size() < size; ++n) {
        video.simch.channel = audio.simch.channel = static_cast<uint8_t>(1 + n % 4);
        video.dataType = n % 50 == 0 ? media::kVideoI : media::kVideoP;
        video.timestamp = audio.timestamp = n * 40;
        const size_t len = n % 50 == 0 ? 48 * 1024 : 5 * 1024 + rng() % 2048;
        s.bytes +=
            media::RTP1078Exp::BuildPackets(video, std::string_view(payload).substr(0, len), seq);
        s.bytes +=
            media::RTP1078Exp::BuildPackets(audio, std::string_view(payload).substr(0, 168), seq);
        s.packets += (len + 949) / 950 + 1;
    }
    return s;
}

void feed(benchmark::State& state, size_t readSize) {
    const Stream& s = stream(static_cast<size_t>(state.range(0)));
    size_t frames = 0, packets = 0;
    media::RTP1078Exp exp;
    exp.OnFrame = [&](const media::RTPmeta&, std::string_view body) { frames += body.size() != 0; };
    exp.OnPacket = [&](const media::RTP_data&) { ++packets; };
    const std::string_view all(s.bytes);
    for (auto _ : state) {
        for (size_t at = 0; at < all.size(); at += readSize)
            exp.Feed(all.substr(at, readSize));
        benchmark::DoNotOptimize(frames);
    }
    if (packets != s.packets * state.iterations()) state.SkipWithError("packets lost");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * all.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.packets));
}

void BM_Feed1024(benchmark::State& state) {
    feed(state, 1024);
}
void BM_FeedWhole(benchmark::State& state) {
    feed(state, SIZE_MAX);
}

void BM_Memcpy1024(benchmark::State& state) {
    const Stream& s = stream(static_cast<size_t>(state.range(0)));
    std::string into(1024, '\0');
    for (auto _ : state) {
        for (size_t at = 0; at < s.bytes.size(); at += 1024) {
            const size_t n = std::min<size_t>(1024, s.bytes.size() - at);
            std::memcpy(into.data(), s.bytes.data() + at, n);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.bytes.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * s.packets));
}

constexpr int64_t kMB = 1 << 20;
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(kMB)->Arg(4 * kMB)->Arg(16 * kMB)->Arg(64 * kMB)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Memcpy1024)->Apply(sizes);
BENCHMARK(BM_Feed1024)->Apply(sizes);
BENCHMARK(BM_FeedWhole)->Apply(sizes);

// Prints each Feed result as a ratio to memcpy of the same size, and how the time grows with
// the size: linear work takes 4x the time for 4x the bytes (caches add a little at 16-64 MB,
// memcpy shows how much); a cost per packet that grew with the buffer would show 16x.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const std::string sizes[] = {std::to_string(kMB), std::to_string(4 * kMB),
                                     std::to_string(16 * kMB), std::to_string(64 * kMB)};
        for (const char* name : {"BM_Feed1024", "BM_FeedWhole"}) {
            for (const std::string& size : sizes) {
                const double feed = seconds[std::string(name) + "/" + size];
                const double copy = seconds["BM_Memcpy1024/" + size];
                if (feed > 0 && copy > 0)
                    std::cout << name << "/" << size << ": " << feed / copy
                              << "x the time of memcpy\n";
            }
        }
        for (const char* name : {"BM_Memcpy1024", "BM_Feed1024", "BM_FeedWhole"}) {
            std::cout << name << " time growth per 4x bytes:";
            for (size_t i = 1; i < std::size(sizes); ++i) {
                const double before = seconds[std::string(name) + "/" + sizes[i - 1]];
                const double after = seconds[std::string(name) + "/" + sizes[i]];
                if (before > 0) std::cout << " " << after / before;
            }
            std::cout << "\n";
        }
    }

private:
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
