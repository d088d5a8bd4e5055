#include "api/SimIndex.h"

#include <algorithm>

namespace api {

namespace {

bool bySim(const SimIndex::Entry& a, const SimIndex::Entry& b) {
    return a.sim < b.sim;
}

} // namespace

void SimIndex::finish() {
    std::stable_sort(entries.begin(), entries.end(), bySim);
}

std::span<const SimIndex::Entry> SimIndex::find(std::string_view sim) const {
    const auto [from, to] =
        std::equal_range(entries.begin(), entries.end(), Entry{sim, nullptr}, bySim);
    return {from, to};
}

} // namespace api
