// Parsing and writing a vehicle-list reply of 100,000 vehicles (a vehicle element and four
// channel elements each, 500,000 elements with the members the vehicle model reads), in
// MB/s, next to nlohmann::json on the same text in the same run when it is installed.

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <random>
#include <string>

#include "api/CJvalue.h"

#ifdef TAVRINA_HAVE_NLOHMANN
#include <nlohmann/json.hpp>
#endif

namespace {

constexpr int kVehicles = 100000;

// UTF-8 throughout, so that a validating parser takes the same text.
const std::string& reply() {
    static const std::string text = [] {
        std::mt19937 rng(11);
        const char* cities[] = {"京", "沪", "粤", "苏", "浙", "鲁"};
        const char* cams[] = {"前方", "驾驶室", "车厢", "后方"};
        std::string s = R"({"code":0,"msg":"成功","obj":[)";
        for (int org = 0; org < 100; ++org)
            s += R"({"id":"o)" + std::to_string(org) + R"(","pId":"0","dept":2,"name":"第)" +
                 std::to_string(org) + R"(车队"},)";
        for (int v = 0; v < kVehicles; ++v) {
            const std::string id = "v" + std::to_string(100000 + v);
            const std::string sim = "0139" + std::to_string(10000000 + rng() % 89999999);
            s += R"({"id":")" + id + R"(","pId":"o)" + std::to_string(v % 100) +
                 R"(","dept":3,"name":")" + cities[v % 6] + "A" + std::to_string(10000 + v) +
                 R"(","isOnline":)" + std::to_string(rng() % 2) + R"(,"sjhm":")" + sim + "\"},";
            for (int ch = 1; ch <= 4; ++ch)
                s += R"({"id":"c)" + std::to_string(v) + "_" + std::to_string(ch) + R"(","pId":")" +
                     id + R"(","dept":4,"name":")" + cams[ch - 1] + R"(","sptd":)" +
                     std::to_string(ch) + R"(,"sjhm":")" + sim + "\"},";
        }
        s.back() = ']';
        s += "}";
        return s;
    }();
    return text;
}

void BM_ParseCJvalue(benchmark::State& state) {
    const std::string& text = reply();
    api::CJvalue().parse(text); // warm the heap, as for the other parser
    for (auto _ : state) {
        api::CJvalue v;
        if (!v.parse(text)) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(v.childCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_WriteCJvalue(benchmark::State& state) {
    api::CJvalue v;
    v.parse(reply());
    size_t size = 0;
    for (auto _ : state) {
        const std::string out = v.write();
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

#ifdef TAVRINA_HAVE_NLOHMANN
void BM_ParseNlohmann(benchmark::State& state) {
    const std::string& text = reply();
    (void)nlohmann::json::parse(text).size(); // warm the heap, as for the other parser
    for (auto _ : state) {
        auto j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_WriteNlohmann(benchmark::State& state) {
    const auto j = nlohmann::json::parse(reply());
    // Both write members in name order and integers alike: the outputs must be equal.
    api::CJvalue v;
    v.parse(reply());
    if (j.dump() != v.write()) state.SkipWithError("written texts differ");
    size_t size = 0;
    for (auto _ : state) {
        const std::string out = j.dump();
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ParseNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNlohmann)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_ParseCJvalue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCJvalue)->Unit(benchmark::kMillisecond);

// Prints CJvalue's throughput as a multiple of nlohmann's (above 1 is faster).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            seconds[r.benchmark_name()] = r.GetAdjustedCPUTime(); // the machine may be shared
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::cout << "reply: " << reply().size() / 1e6 << " MB, " << kVehicles * 5 + 100
                  << " elements\n";
        for (const char* op : {"Parse", "Write"}) {
            const double ours = seconds[std::string("BM_") + op + "CJvalue"];
            const double theirs = seconds[std::string("BM_") + op + "Nlohmann"];
            if (ours > 0 && theirs > 0)
                std::cout << op << ": CJvalue " << theirs / ours << "x the speed of nlohmann\n";
        }
    }

private:
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    reply();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
