// YUV 4:2:0 to 32-bit RGB at the sizes operators watch: ConvertExact and ConvertFast (the best
// kernel of this processor, and the SSE2 and plain ones for reference) against libswscale's
// unscaled YUV420P -> BGRA path and libyuv's I420ToARGB, in one run; megapixels per second and
// ratios at the end.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/ColorConvert.h"

#ifdef TAVRINA_HAVE_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif
#ifdef TAVRINA_HAVE_LIBYUV
#include <libyuv.h>
#endif

namespace {

struct Picture {
    int width, height;
    std::vector<uint8_t> y, u, v;
    std::vector<uint32_t> out;
    std::vector<uint32_t*> rows;
};

// A smooth picture with noise, like a camera's; the conversions have no data-dependent branches.
Picture& picture(int width, int height) {
    static std::map<std::pair<int, int>, Picture> made;
    Picture& p = made[{width, height}];
    if (!p.y.empty()) return p;
    p.width = width;
    p.height = height;
    std::mt19937 rng(42);
    p.y.resize(static_cast<size_t>(width) * height);
    p.u.resize(static_cast<size_t>(width / 2) * (height / 2));
    p.v.resize(p.u.size());
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            p.y[static_cast<size_t>(r) * width + c] =
                static_cast<uint8_t>((r + c) / 8 + rng() % 16);
    for (size_t i = 0; i < p.u.size(); ++i) {
        p.u[i] = static_cast<uint8_t>(96 + i % 64 + rng() % 8);
        p.v[i] = static_cast<uint8_t>(160 - i % 48 + rng() % 8);
    }
    p.out.resize(static_cast<size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        p.rows.push_back(p.out.data() + static_cast<size_t>(r) * width);
    return p;
}

void finish(benchmark::State& state, const Picture& p) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * p.width * p.height);
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * p.width * p.height / 1e6,
                           benchmark::Counter::kIsRate);
}

template <bool Fast> void BM_Convert(benchmark::State& state, media::ConvertIsa isa) {
    Picture& p = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (media::setConvertIsa(isa) != isa) {
        state.SkipWithError("instruction set not available");
        return;
    }
    media::EnsureColorTables();
    for (auto _ : state) {
        (Fast ? media::ConvertFast : media::ConvertExact)(p.height, p.width, p.y.data(), p.u.data(),
                                                          p.v.data(), p.width, p.width / 2,
                                                          p.rows.data());
        benchmark::ClobberMemory();
    }
    media::setConvertIsa(media::bestConvertIsa());
    finish(state, p);
}

void BM_Exact(benchmark::State& s) {
    BM_Convert<false>(s, media::bestConvertIsa());
}
void BM_Fast(benchmark::State& s) {
    BM_Convert<true>(s, media::bestConvertIsa());
}
void BM_ExactSse2(benchmark::State& s) {
    BM_Convert<false>(s, media::ConvertIsa::Sse2);
}
void BM_FastSse2(benchmark::State& s) {
    BM_Convert<true>(s, media::ConvertIsa::Sse2);
}
void BM_ExactScalar(benchmark::State& s) {
    BM_Convert<false>(s, media::ConvertIsa::Scalar);
}
void BM_FastTableScalar(benchmark::State& s) {
    BM_Convert<true>(s, media::ConvertIsa::Scalar);
}

#ifdef TAVRINA_HAVE_SWSCALE
void BM_Swscale(benchmark::State& state) {
    Picture& p = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    struct Free {
        void operator()(SwsContext* c) const { sws_freeContext(c); }
    };
    std::unique_ptr<SwsContext, Free> sws(sws_getContext(p.width, p.height, AV_PIX_FMT_YUV420P,
                                                         p.width, p.height, AV_PIX_FMT_BGRA,
                                                         SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    const uint8_t* src[3] = {p.y.data(), p.u.data(), p.v.data()};
    const int srcStride[3] = {p.width, p.width / 2, p.width / 2};
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(p.out.data())};
    const int dstStride[1] = {p.width * 4};
    for (auto _ : state) {
        sws_scale(sws.get(), src, srcStride, 0, p.height, dst, dstStride);
        benchmark::ClobberMemory();
    }
    finish(state, p);
}
#endif

#ifdef TAVRINA_HAVE_LIBYUV
void BM_Libyuv(benchmark::State& state) {
    Picture& p = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        libyuv::I420ToARGB(p.y.data(), p.width, p.u.data(), p.width / 2, p.v.data(), p.width / 2,
                           reinterpret_cast<uint8_t*>(p.out.data()), p.width * 4, p.width,
                           p.height);
        benchmark::ClobberMemory();
    }
    finish(state, p);
}
#endif

const std::pair<int, int> kSizes[] = {{352, 288}, {704, 576}, {1280, 720}, {1920, 1080}};

void sizes(benchmark::internal::Benchmark* b) {
    for (const auto& [w, h] : kSizes)
        b->Args({w, h});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Exact)->Apply(sizes);
BENCHMARK(BM_Fast)->Apply(sizes);
BENCHMARK(BM_ExactSse2)->Apply(sizes);
BENCHMARK(BM_FastSse2)->Apply(sizes);
BENCHMARK(BM_ExactScalar)->Apply(sizes);
BENCHMARK(BM_FastTableScalar)->Apply(sizes);
#ifdef TAVRINA_HAVE_SWSCALE
BENCHMARK(BM_Swscale)->Apply(sizes);
#endif
#ifdef TAVRINA_HAVE_LIBYUV
BENCHMARK(BM_Libyuv)->Apply(sizes);
#endif

// Speed of each conversion relative to each library at each size (above 1: ours is faster), in
// processor time, which other work on a shared machine disturbs less than wall time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred) seconds[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [w, h] : kSizes) {
            const std::string size = "/" + std::to_string(w) + "/" + std::to_string(h);
            for (const char* ours : {"BM_Exact", "BM_Fast"}) {
                const double t = seconds[ours + size];
                for (const char* lib : {"BM_Swscale", "BM_Libyuv"}) {
                    const double base = seconds[lib + size];
                    if (t > 0 && base > 0)
                        std::cout << ours << size << ": " << base / t << "x the speed of "
                                  << (lib + 3) << "\n";
                }
            }
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
