#include "api/ViewForest.h"

#include <algorithm>

#include "api/VehicleTree.h"

namespace api {

void ViewForest::clear() {
    nodes.clear();
    nodes.shrink_to_fit();
    nodes.emplace_back();
}

ViewNodeId ViewForest::add(ViewNodeId parent, TRNode* data, uint8_t stateIndex, int image) {
    const auto id = static_cast<ViewNodeId>(nodes.size());
    Node n;
    n.data = data;
    n.parent = parent;
    n.row = static_cast<uint32_t>(nodes[parent].children.size());
    n.stateIndex = stateIndex;
    n.image = static_cast<int8_t>(image);
    nodes.push_back(std::move(n));
    nodes[parent].children.push_back(id);
    return id;
}

bool ViewForest::setImage(ViewNodeId id, int image) {
    const auto i = static_cast<int8_t>(image);
    if (nodes[id].image == i) return false;
    nodes[id].image = i;
    return true;
}

namespace {

struct Less {
    const std::vector<ViewForest::Node>& nodes;
    bool full;
    bool operator()(ViewNodeId a, ViewNodeId b) const {
        return VehicleTree::compare(nodes[a].data, nodes[b].data, full) < 0;
    }
};

} // namespace

bool ViewForest::isSorted(ViewNodeId parent, bool full) const {
    const std::vector<ViewNodeId>& c = nodes[parent].children;
    return std::is_sorted(c.begin(), c.end(), Less{nodes, full});
}

bool ViewForest::sortChildren(ViewNodeId parent, bool full) {
    // Stable: equal nodes keep their order, so a sorted list is left exactly as it is.
    if (isSorted(parent, full)) return false;
    std::vector<ViewNodeId>& c = nodes[parent].children;
    std::stable_sort(c.begin(), c.end(), Less{nodes, full});
    for (size_t i = 0; i < c.size(); ++i)
        nodes[c[i]].row = static_cast<uint32_t>(i);
    return true;
}

void ViewForest::sortAll(bool full) {
    for (size_t id = 0; id < nodes.size(); ++id)
        if (nodes[id].children.size() > 1) sortChildren(static_cast<ViewNodeId>(id), full);
}

size_t ViewForest::memoryBytes() const {
    size_t bytes = nodes.capacity() * sizeof(Node);
    for (const Node& n : nodes)
        bytes += n.children.capacity() * sizeof(ViewNodeId);
    return bytes;
}

} // namespace api
