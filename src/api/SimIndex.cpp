#include "api/SimIndex.h"

#include <algorithm>
#include <functional>

namespace api {

namespace {

bool bySim(const SimIndex::Entry& a, const SimIndex::Entry& b) {
    return a.sim < b.sim;
}

} // namespace

void SimIndex::finish() {
    std::stable_sort(entries.begin(), entries.end(), bySim);
    size_t size = 16;
    while (size < 2 * entries.size())
        size *= 2;
    buckets.assign(size, 0);
    const size_t mask = size - 1;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].sim == entries[i - 1].sim) continue;
        size_t h = std::hash<std::string_view>{}(entries[i].sim) & mask;
        while (buckets[h] != 0)
            h = (h + 1) & mask;
        buckets[h] = static_cast<uint32_t>(i + 1);
    }
}

std::span<const SimIndex::Entry> SimIndex::find(std::string_view sim) const {
    if (buckets.empty()) return {};
    const size_t mask = buckets.size() - 1;
    for (size_t h = std::hash<std::string_view>{}(sim)&mask; buckets[h] != 0; h = (h + 1) & mask) {
        const size_t first = buckets[h] - 1;
        if (entries[first].sim != sim) continue;
        size_t end = first + 1;
        while (end < entries.size() && entries[end].sim == sim)
            ++end;
        return {entries.data() + first, end - first};
    }
    return {};
}

} // namespace api
