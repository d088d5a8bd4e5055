#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "api/TRNode.h"

namespace api {

// The terminal nodes by SIM number (20 characters), those of one SIM in the order they were
// attached. Keys point into the records' names, so the index is emptied with the tree.
class SimIndex {
public:
    struct Entry {
        std::string_view sim;
        TRNode* node;
    };

    void clear() {
        entries.clear();
        buckets.clear();
    }
    // While building: any order; `finish` then sorts, keeping each SIM's nodes in order.
    void add(std::string_view sim, TRNode* node) { entries.push_back({sim, node}); }
    void finish();

    // The nodes of `sim`; empty when it is unknown.
    std::span<const Entry> find(std::string_view sim) const;
    // Every entry, in SIM order.
    std::span<const Entry> all() const { return entries; }
    size_t size() const { return entries.size(); }
    size_t memoryBytes() const {
        return entries.capacity() * sizeof(Entry) + buckets.capacity() * sizeof(uint32_t);
    }

private:
    std::vector<Entry> entries;
    // An open-addressing hash of each SIM's first entry (index + 1; 0: free), so that a state
    // report finds its terminals without a search through the scattered records' names.
    std::vector<uint32_t> buckets;
};

} // namespace api
