// Twenty pictures in the 20-picture mode on a 1280 x 720 offscreen Qt surface, driven by a
// fake clock at the 30 ms tick, each player fed its own 25 fps stream (own key, own decoder,
// own start phase): (a) D1 made here with libx264, (b) the real terminal's 640 x 480 capture
// looped with rewritten keys and timestamps, (c) 720p made with libx264. Each case runs with
// the players' ticks on the caller alone and on the pool, against bare libavcodec decoding the
// same access units plus the same conversion of the pictures the grid converts, in one run.
//
// Figures: CPU ms (all threads of the process) per second of stream for Draw and the widget's
// repaint; wall time of one Draw (p50, p99, max); the share of ticks whose Draw overran the
// 30 ms tick; the real-time factor (wall time of all Draws and repaints / stream time, under 1
// keeps up). --seconds=N sets the stream length (default 10), --runs=N the repetitions of
// every case (default 3; the table shows the run of median CPU).

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

#include "BenchStream.h"
#include "media/AvHandles.h"
#include "media/ColorConvert.h"
#include "media/NullSoundDevice.h"
#include "media/RTP1078Exp.h"
#include "media/SIMCH.h"
#include "media/VideoFrame.h"
#include "ui/MultiPlayer.h"
#include "ui/gui/CaptionIcons.h"
#include "ui/gui/PaintBox.h"
#include "util/Clock.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace {

constexpr int kPlayers = 20;
constexpr int kTickMs = 30;
int streamSeconds = 10;
int repetitions = 3;

enum Case : int64_t { D1 = 0, Capture = 1, HD = 2, D1InStep = 3 };
const char* const kCaseNames[] = {"(a) 20 x D1 libx264", "(b) 20 x real capture 640x480",
                                  "(c) 20 x 720p libx264", "(a') 20 x D1, key frames in step"};

// Channels are opened one after another and their terminals share no clock, so their key
// frames (every 2 s in the made streams) fall on different ticks: channel n starts 100 ms
// after channel n - 1. The in-step case starts them 2 ms apart, every key frame of the twenty
// on the same tick: the worst that can happen.
// The sizes of the streams made in this run.
std::set<std::pair<int, int>> madeSizes;

uint32_t phaseOf(Case c, int n) {
    return static_cast<uint32_t>(c == D1InStep ? 2 * n : 100 * n);
}

// One channel's frames over the whole run, in arrival order, with arrival times in ms.
struct Feed {
    std::vector<media::RTP_data> frames;
    std::vector<uint32_t> arrival;
    size_t video = 0;
};

std::vector<media::RTP_data> captureFrames() {
    std::ifstream in(std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp",
                     std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<media::RTP_data> frames;
    media::RTP1078Exp exp;
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        frames.push_back(media::RTP_data{h, std::string(body)});
    };
    exp.Feed(bytes);
    return frames;
}

// The frames of `streamSeconds` of the case for one key, starting `phase` ms late.
Feed makeFeed(Case c, const media::SIMCH& key, uint32_t phase) {
    Feed f;
    const uint32_t end = static_cast<uint32_t>(streamSeconds) * 1000;
    if (c == Capture) {
        static const std::vector<media::RTP_data> capture = captureFrames();
        if (capture.empty()) return f;
        uint32_t first = capture.front().meta.timestamp, last = first;
        for (const auto& fr : capture) {
            first = std::min(first, fr.meta.timestamp);
            last = std::max(last, fr.meta.timestamp);
        }
        const uint32_t period = last - first + 100;
        for (uint32_t loop = 0;; ++loop)
            for (const auto& fr : capture) {
                const uint32_t at = fr.meta.timestamp - first + loop * period;
                if (at >= end) return f;
                media::RTP_data d = fr;
                d.meta.simch = key;
                d.meta.timestamp = fr.meta.timestamp + loop * period;
                f.frames.push_back(std::move(d));
                f.arrival.push_back(at + phase);
                f.video += fr.meta.dataType <= media::kVideoB;
            }
    }
    const std::pair<int, int> size = c == HD ? std::pair{1280, 720} : std::pair{704, 576};
    madeSizes.insert(size);
    const auto& aus = bench::stream(size.first, size.second);
    if (aus.size() != bench::kPictures) return f;
    for (uint32_t n = 0; 40 * n < end; ++n) {
        media::RTP_data d;
        d.meta.simch = key;
        d.meta.PT = media::kPtH264;
        d.meta.dataType = n % 50 == 0 ? media::kVideoI : media::kVideoP;
        d.meta.timestamp = 40 * n;
        d.data = aus[n % aus.size()];
        d.meta.length = static_cast<uint32_t>(d.data.size());
        f.frames.push_back(std::move(d));
        f.arrival.push_back(40 * n + phase);
        ++f.video;
    }
    return f;
}

media::SIMCH keyOf(int n) {
    return media::SIMCH{media::padSim(std::to_string(13800000000LL + n)), 1};
}

// Busy time of the whole machine, in seconds (all cores, from /proc/stat).
double machineBusySeconds() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    return (user + nice + system + irq + softirq + steal) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Counts the pictures the grid paints.
class CountingBox : public ui::gui::PaintBox {
public:
    void StretchPicture(const ui::Rect& to, const uint32_t* bits, int w, int h) override {
        ++pictures;
        PaintBox::StretchPicture(to, bits, w, h);
    }
    int64_t pictures = 0;
};

struct Result {
    double cpuPerSecond = 0;
    double p50 = 0, p99 = 0, max = 0;
    double overrun = 0; // share of ticks whose Draw took longer than a tick
    double realTime = 0;
    int64_t fed = 0, played = 0, painted = 0;
    int64_t maxQueued = 0; // most frames one player's buffer held at a tick
};
// Every repetition's figures; the table shows the run of median CPU.
std::map<std::pair<int64_t, int64_t>, std::vector<Result>> results;
std::map<int64_t, std::vector<double>> bareCpu;
std::map<int64_t, std::vector<double>> playersCpu;

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Result medianRun(std::vector<Result> v) {
    std::sort(v.begin(), v.end(),
              [](const Result& a, const Result& b) { return a.cpuPerSecond < b.cpuPerSecond; });
    return v[v.size() / 2];
}

void BM_Grid(benchmark::State& state) {
    const auto c = static_cast<Case>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    std::vector<Feed> feeds;
    for (int n = 0; n < kPlayers; ++n)
        feeds.push_back(makeFeed(c, keyOf(n), phaseOf(c, n)));
    if (feeds[0].frames.empty()) return state.SkipWithError("no stream (libx264 or capture)");

    for (auto _ : state) {
        util::FakeClock clock(1000);
        media::ClockCounter counter(clock);
        ui::MultiPlayer grid(counter, [] { return std::make_unique<media::NullSoundDevice>(); });
        grid.SetTickThreads(threads);
        ui::gui::CaptionIcons icons;
        CountingBox box;
        box.setIcons(&icons);
        box.resize(1280, 720);
        box.show();
        QApplication::processEvents();
        grid.icons = &icons;
        grid.mode = 4;
        grid.Init(&box, 720, 1280);
        for (int n = 0; n < kPlayers; ++n)
            grid.Open(keyOf(n), "粤B00000"_gbk, "CH1 ", 0, false, 8000, 16, 1);
        grid.SelectAudio(keyOf(0)); // one channel heard, as an operator would have it

        std::vector<size_t> next(kPlayers, 0);
        std::vector<double> walls;
        double cpu = 0, wall = 0;
        int64_t overruns = 0;
        // Every frame fed, and the last 200 ms the buffers keep played out.
        const uint32_t last = phaseOf(c, kPlayers - 1);
        const uint32_t end = static_cast<uint32_t>(streamSeconds) * 1000 + last + 400;
        size_t maxQueued = 0;
        for (uint32_t now = 0; now < end; now += kTickMs) {
            for (int n = 0; n < kPlayers; ++n) {
                Feed& f = feeds[static_cast<size_t>(n)];
                size_t& i = next[static_cast<size_t>(n)];
                for (; i < f.frames.size() && f.arrival[i] <= now; ++i)
                    grid.OnFrame(f.frames[i].meta, f.frames[i].data);
            }
            clock.advanceMs(kTickMs);
            const double c0 = cpuMs();
            const auto w0 = std::chrono::steady_clock::now();
            grid.Draw();
            const auto w1 = std::chrono::steady_clock::now();
            QApplication::processEvents(); // the widget copies what changed
            const auto w2 = std::chrono::steady_clock::now();
            cpu += cpuMs() - c0;
            const double drawMs = std::chrono::duration<double, std::milli>(w1 - w0).count();
            // Draw times count while all twenty stream: not while they start or end.
            if (now >= last + 400 && now < end - 400) {
                walls.push_back(drawMs);
                overruns += drawMs > kTickMs;
            }
            for (const auto& [key, p] : grid.players())
                maxQueued = std::max(maxQueued, p->buffer.frameCount());
            wall += std::chrono::duration<double, std::milli>(w2 - w0).count();
        }
        state.SetIterationTime(wall / 1000);

        Result r;
        std::sort(walls.begin(), walls.end());
        r.p50 = walls[walls.size() / 2];
        r.p99 = walls[walls.size() * 99 / 100];
        r.max = walls.back();
        r.overrun = static_cast<double>(overruns) / static_cast<double>(walls.size());
        r.cpuPerSecond = cpu / streamSeconds;
        r.realTime = wall / (streamSeconds * 1000.0);
        r.painted = box.pictures;
        for (int n = 0; n < kPlayers; ++n) {
            const Feed& f = feeds[static_cast<size_t>(n)];
            const media::RTPPlayer& p = *grid.players().at(keyOf(n));
            r.fed += static_cast<int64_t>(f.frames.size());
            r.played += static_cast<int64_t>(f.frames.size() - p.buffer.frameCount());
        }
        r.maxQueued = static_cast<int64_t>(maxQueued);
        results[{state.range(0), state.range(1)}].push_back(r);
        state.counters["cpu_ms_per_s"] = r.cpuPerSecond;
        state.counters["draw_p50_ms"] = r.p50;
        state.counters["draw_p99_ms"] = r.p99;
        state.counters["draw_max_ms"] = r.max;
        state.counters["painted"] = static_cast<double>(r.painted);
        grid.Clear();
    }
}

// The same feeds through twenty players ticked one after another with the view's fetch but no
// painting: what the players cost without the grid.
void BM_Players(benchmark::State& state) {
    const auto c = static_cast<Case>(state.range(0));
    std::vector<Feed> feeds;
    for (int n = 0; n < kPlayers; ++n)
        feeds.push_back(makeFeed(c, keyOf(n), phaseOf(c, n)));
    if (feeds[0].frames.empty()) return state.SkipWithError("no stream (libx264 or capture)");
    for (auto _ : state) {
        util::FakeClock clock(1000);
        media::ClockCounter counter(clock);
        std::vector<std::unique_ptr<media::RTPPlayer>> players;
        for (int n = 0; n < kPlayers; ++n) {
            players.push_back(std::make_unique<media::RTPPlayer>(counter));
            players.back()->Start();
        }
        std::vector<size_t> next(kPlayers, 0);
        double cpu = 0;
        const uint32_t end =
            static_cast<uint32_t>(streamSeconds) * 1000 + phaseOf(c, kPlayers - 1) + 400;
        for (uint32_t now = 0; now < end; now += kTickMs) {
            for (int n = 0; n < kPlayers; ++n) {
                Feed& f = feeds[static_cast<size_t>(n)];
                size_t& i = next[static_cast<size_t>(n)];
                for (; i < f.frames.size() && f.arrival[i] <= now; ++i)
                    players[static_cast<size_t>(n)]->Input(f.frames[i].meta, f.frames[i].data);
            }
            clock.advanceMs(kTickMs);
            const double c0 = cpuMs();
            for (auto& p : players) {
                p->Tick(false);
                const uint32_t* bits = nullptr;
                p->Take(false, bits);
            }
            cpu += cpuMs() - c0;
        }
        state.SetIterationTime(cpu / 1000);
        playersCpu[state.range(0)].push_back(cpu / streamSeconds);
        state.counters["cpu_ms_per_s"] = cpu / streamSeconds;
    }
}

// The same access units through bare libavcodec, one context and one picture per channel,
// whole units in the order they arrive (the channels interleaved, as a twenty-picture client
// must decode them), with the grid's fast conversion of the pictures it converts (every other
// one above 17 a second).
void BM_Bare(benchmark::State& state) {
    const auto c = static_cast<Case>(state.range(0));
    std::vector<Feed> feeds;
    for (int n = 0; n < kPlayers; ++n)
        feeds.push_back(makeFeed(c, keyOf(n), phaseOf(c, n)));
    if (feeds[0].frames.empty()) return state.SkipWithError("no stream (libx264 or capture)");
    const bool everyOther = feeds[0].video / static_cast<size_t>(streamSeconds) > 17;
    // (arrival, channel, frame) of every video frame, in arrival order.
    std::vector<std::tuple<uint32_t, size_t, size_t>> order;
    for (size_t n = 0; n < feeds.size(); ++n)
        for (size_t i = 0; i < feeds[n].frames.size(); ++i)
            if (feeds[n].frames[i].meta.dataType <= media::kVideoB)
                order.emplace_back(feeds[n].arrival[i], n, i);
    std::stable_sort(order.begin(), order.end());
    media::EnsureColorTables();
    media::AvFramePtr frame(av_frame_alloc());
    media::AvPacketPtr pkt(av_packet_alloc());
    for (auto _ : state) {
        const double c0 = cpuMs();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        std::vector<media::AvCodecContextPtr> contexts;
        std::vector<media::VideoFrame> pictures(feeds.size());
        std::vector<int64_t> decoded(feeds.size(), 0);
        for (size_t n = 0; n < feeds.size(); ++n) {
            contexts.emplace_back(avcodec_alloc_context3(codec));
            contexts.back()->thread_count = 1;
            contexts.back()->flags |= AV_CODEC_FLAG_LOW_DELAY;
            avcodec_open2(contexts.back().get(), codec, nullptr);
        }
        int64_t converted = 0;
        auto receive = [&](size_t n) {
            while (avcodec_receive_frame(contexts[n].get(), frame.get()) == 0) {
                if (!everyOther || decoded[n]++ % 2 == 0) {
                    pictures[n].SizeTo(frame->height, frame->width);
                    media::ConvertFast(frame->height, frame->width, frame->data[0], frame->data[1],
                                       frame->data[2], frame->linesize[0], frame->linesize[1],
                                       pictures[n].rowTable());
                    ++converted;
                }
                av_frame_unref(frame.get());
            }
        };
        for (const auto& [at, n, i] : order) {
            const std::string& data = feeds[n].frames[i].data;
            av_new_packet(pkt.get(), static_cast<int>(data.size()));
            std::memcpy(pkt->data, data.data(), data.size());
            avcodec_send_packet(contexts[n].get(), pkt.get());
            av_packet_unref(pkt.get());
            receive(n);
        }
        contexts.clear();
        const double cpu = cpuMs() - c0;
        state.SetIterationTime(cpu / 1000);
        bareCpu[state.range(0)].push_back(cpu / streamSeconds);
        state.counters["cpu_ms_per_s"] = cpu / streamSeconds;
        state.counters["pictures"] = static_cast<double>(converted);
    }
}

void gridCases(benchmark::internal::Benchmark* b) {
    const int pool =
        std::max(1, std::min(3, static_cast<int>(std::thread::hardware_concurrency()) - 1));
    for (int64_t c : {D1, Capture, HD, D1InStep}) {
        b->Args({c, 0});
        b->Args({c, pool});
    }
    b->Iterations(1)->Repetitions(repetitions)->UseManualTime()->Unit(benchmark::kMillisecond);
}

void caseRange(benchmark::internal::Benchmark* b) {
    b->DenseRange(D1, HD)
        ->Iterations(1)
        ->Repetitions(repetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

class TableReporter : public benchmark::ConsoleReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%d s of stream per player, %d players, 1280x720, 30 ms tick\n",
                    streamSeconds, kPlayers);
        // The made streams' bit rates.
        for (const auto& [name, size] :
             {std::pair{"D1", std::pair{704, 576}}, std::pair{"720p", std::pair{1280, 720}}}) {
            const auto& aus = bench::stream(size.first, size.second);
            size_t bytes = 0;
            for (const auto& au : aus)
                bytes += au.size();
            if (bytes > 0)
                std::printf("%dx%d stream: %.2f Mbit/s\n", size.first, size.second,
                            static_cast<double>(bytes) * 8 / (bench::kPictures / 25.0) / 1e6);
        }
        std::printf(
            "| case | tick threads | CPU ms/s | bare ms/s | ratio | players alone ms/s | Draw p50 "
            "| p99 | max "
            "| ticks over 30 ms | real-time factor | frames fed | played | most queued | "
            "pictures painted |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
        for (const auto& [k, runs] : results) {
            const Result r = medianRun(runs);
            const int64_t baseline = k.first == D1InStep ? D1 : k.first;
            const double bare = median(bareCpu[baseline]);
            std::printf(
                "| %s | %lld | %.0f | %.0f | %.2f | %.0f | %.1f | %.1f | %.1f | %.1f%% | %.2f "
                "| %lld | %lld | %lld | %lld |\n",
                kCaseNames[k.first], static_cast<long long>(k.second), r.cpuPerSecond, bare,
                bare > 0 ? r.cpuPerSecond / bare : 0.0, median(playersCpu[baseline]), r.p50, r.p99,
                r.max, 100 * r.overrun, r.realTime, static_cast<long long>(r.fed),
                static_cast<long long>(r.played), static_cast<long long>(r.maxQueued),
                static_cast<long long>(r.painted));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    // --seconds=N is ours; everything else goes to the benchmark library.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            streamSeconds = std::max(1, std::atoi(argv[i] + 10));
        else if (std::strncmp(argv[i], "--runs=", 7) == 0)
            repetitions = std::max(1, std::atoi(argv[i] + 7));
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    // The surface is offscreen by nature: no display is needed or wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(n, args.data());
    av_log_set_level(AV_LOG_QUIET);
    // Registered here, so that the repetitions follow --runs.
    benchmark::RegisterBenchmark("BM_Bare", BM_Bare)->Apply(caseRange);
    benchmark::RegisterBenchmark("BM_Players", BM_Players)->Apply(caseRange);
    benchmark::RegisterBenchmark("BM_Grid", BM_Grid)->Apply(gridCases);
    benchmark::Initialize(&n, args.data());
    TableReporter reporter;
    const double busy0 = machineBusySeconds(), own0 = cpuMs() / 1000;
    const auto wall0 = std::chrono::steady_clock::now();
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double others = (machineBusySeconds() - busy0) - (cpuMs() / 1000 - own0);
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("machine: %ld cores; other processes kept %.0f%% of them busy during the run "
                "(%.0f s of CPU in %.0f s)\n",
                cores, 100 * std::max(0.0, others) / (wall * static_cast<double>(cores)),
                std::max(0.0, others), wall);
    benchmark::Shutdown();
    return 0;
}
