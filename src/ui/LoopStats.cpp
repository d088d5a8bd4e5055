#include "ui/LoopStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace ui {

namespace {

// Milliseconds with two decimals are plenty, and keep the line short.
void appendNumber(std::string& out, const char* name, double v, bool comma = true) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\"%s\":%.15g%s", name, std::round(v * 100.0) / 100.0,
                  comma ? "," : "");
    out += buf;
}

} // namespace

void LoopStats::addTick(double ms) {
    // A second holds about 33 ticks; a stalled loop must not grow this without bound.
    if (ticks.size() < 100000) ticks.push_back(ms);
}

double LoopStats::percentile(std::vector<double>& samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank =
        static_cast<size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

std::string LoopStats::line(util::DateTime now, size_t residentBytes,
                            const std::vector<Picture>& pictures) {
    // Keys are SIM digits and a channel number; nothing in the line needs escaping.
    std::string out = "{\"time\":\"" + util::formatDateTime("yyyy-mm-dd hh:nn:ss", now) + "\",";
    out += "\"tick_ms\":{";
    appendNumber(out, "n", static_cast<double>(ticks.size()));
    appendNumber(out, "p50", percentile(ticks, 0.5));
    appendNumber(out, "p99", percentile(ticks, 0.99));
    appendNumber(out, "max", ticks.empty() ? 0 : ticks.back(), false);
    ticks.clear();
    out += "},";
    appendNumber(out, "rss_mb", static_cast<double>(residentBytes) / (1024.0 * 1024.0));
    out += "\"pictures\":[";
    for (size_t i = 0; i < pictures.size(); ++i) {
        const Picture& p = pictures[i];
        out += (i ? ",{\"key\":\"" : "{\"key\":\"") + p.key + "\",";
        appendNumber(out, "cell", p.cell);
        appendNumber(out, "bytes", p.bytes);
        appendNumber(out, "decoded", p.decoded);
        appendNumber(out, "shown", p.shown);
        appendNumber(out, "buffered_ms", p.bufferedMs);
        appendNumber(out, "dropped", static_cast<double>(p.dropped));
        appendNumber(out, "start_ms", p.startMs, false);
        out += "}";
    }
    out += "]}";
    return out;
}

size_t ResidentBytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long size = 0, resident = 0;
    const int read = std::fscanf(f, "%lu %lu", &size, &resident);
    std::fclose(f);
    if (read != 2) return 0;
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

} // namespace ui
