// The vehicle list reply of a 100,000-vehicle fleet, from the received UTF-8 bytes to records:
// code-page conversion, parse, records, and the cache value written to the settings store and
// saved. Stages are timed apart in the same run; the end prints each as a share of the whole.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "api/HttpPostDataCont.h"
#include "api/HttpTransport.h"
#include "api/VehicleList.h"
#include "settings/ConfSet.h"
#include "util/GbkText.h"

namespace {

class NoTransport : public api::HttpTransport {
public:
    api::HttpResult post(const std::string&, const std::string&,
                         const std::atomic<bool>&) override {
        return {};
    }
};

constexpr int kVehicles = 100'000;

// 10 companies of 10 fleets; every vehicle has a terminal with two channels, every fifth a
// second terminal (";"-separated), names and titles in Chinese as real fleets have them.
const std::string& reply() {
    static std::string text;
    if (!text.empty()) return text;
    text = R"({"code":0,"msg":"成功","obj":[)";
    for (int c = 0; c < 10; ++c) {
        text += R"({"id":"c)" + std::to_string(c) + R"(","pId":"","dept":1,"name":"运输公司)" +
                std::to_string(c) + R"("},)";
        for (int f = 0; f < 10; ++f)
            text += R"({"id":"f)" + std::to_string(c * 10 + f) + R"(","pId":"c)" +
                    std::to_string(c) + R"(","dept":2,"name":"第)" + std::to_string(f) +
                    R"(车队"},)";
    }
    for (int v = 0; v < kVehicles; ++v) {
        const std::string id = std::to_string(500000 + v);
        const std::string sim = std::to_string(13900000000LL + v);
        std::string sims = sim;
        if (v % 5 == 0) sims += ";" + std::to_string(15900000000LL + v);
        text += R"({"id":")" + id + R"(","pId":"f)" + std::to_string(v % 100) +
                R"(","dept":3,"name":"粤B)" + std::to_string(10000 + v) + R"(","isOnline":)" +
                std::to_string(v % 3 == 0) + R"(,"sjhm":")" + sims + R"("},)";
        for (int ch = 1; ch <= 2; ++ch)
            text += R"({"id":"ch)" + id + "_" + std::to_string(ch) + R"(","pId":")" + id +
                    R"(","dept":4,"name":")" + (ch == 1 ? "前门 有为" : "车厢") + R"(","sptd":)" +
                    std::to_string(ch) + R"(,"sjhm":")" + sim + R"("},)";
    }
    text.back() = ']';
    text += "}";
    return text;
}

void BM_Convert(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(util::utf8ToGbk(reply()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply().size()));
}

void BM_Parse(benchmark::State& state) {
    const std::string gbk = util::utf8ToGbk(reply());
    for (auto _ : state) {
        api::CJvalue v;
        benchmark::DoNotOptimize(v.parse(gbk));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply().size()));
}

void BM_Records(benchmark::State& state) {
    api::CJvalue v;
    v.parse(util::utf8ToGbk(reply()));
    api::CarTreeMap m;
    for (auto _ : state)
        benchmark::DoNotOptimize(api::readVehicleList(*v.find("obj"), m));
    state.counters["records"] = static_cast<double>(m.size());
}

void BM_CacheValue(benchmark::State& state) {
    api::CJvalue v;
    v.parse(util::utf8ToGbk(reply()));
    api::CarTreeMap m;
    api::readVehicleList(*v.find("obj"), m);
    for (auto _ : state)
        benchmark::DoNotOptimize(api::writeVehicleCache("demo", 46000.5, m));
}

// Everything the user-interface thread does with the reply, the settings file saved included.
void BM_Whole(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "bench_vehicle_list";
    std::filesystem::create_directories(dir);
    settings::ConfSet store;
    store.Setup(dir.string() + "/", "Zorvu");
    api::HttpPostDataCont client(std::make_shared<NoTransport>());
    client.settings = &store;
    client.userName = "demo";
    bool ok = true;
    for (auto _ : state) {
        const std::string gbk = util::utf8ToGbk(reply());
        client.completeRequest({}, api::HttpPostDataCont::kVehicleTree, gbk, true, {});
        ok = ok && client.vehicles.size() > size_t{kVehicles};
    }
    if (!ok) state.SkipWithError("records missing");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply().size()));
    state.counters["records"] = static_cast<double>(client.vehicles.size());
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Records)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Whole)->Unit(benchmark::kMillisecond);

class ShareReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            seconds[r.benchmark_name()] = r.GetAdjustedRealTime() / 1000.0; // unit: ms
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::cout << "reply: " << kVehicles << " vehicles, " << reply().size() << " bytes UTF-8\n";
        const double whole = seconds["BM_Whole"];
        std::cout << "whole reply to records and saved cache: " << whole << " s\n";
        for (const char* name : {"BM_Convert", "BM_Parse", "BM_Records", "BM_CacheValue"})
            if (whole > 0) std::cout << name << ": " << seconds[name] / whole << " of the whole\n";
    }

private:
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
