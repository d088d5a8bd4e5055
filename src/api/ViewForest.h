#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "api/TRNode.h"

namespace api {

// The nodes of a tree view: for each, its TRNode, parent, place among its siblings, state index
// and image. Toolkit-free, so that the text view and the Qt model keep their nodes alike.
// Node 0 stands for the top level.
class ViewForest {
public:
    struct Node {
        TRNode* data = nullptr;
        ViewNodeId parent = 0;
        uint32_t row = 0; // place among the parent's children
        uint8_t stateIndex = 0;
        int8_t image = -1;
        std::vector<ViewNodeId> children;
    };

    ViewForest() { clear(); }

    void clear();
    // Reserves room for `count` nodes (a rebuild knows how many are coming).
    void reserve(size_t count) { nodes.reserve(count + 1); }
    ViewNodeId add(ViewNodeId parent, TRNode* data, uint8_t stateIndex, int image);
    // True when the image changed.
    bool setImage(ViewNodeId id, int image);
    // Orders the children by VehicleTree::compare, equal ones keeping their order; true when
    // the order changed.
    bool sortChildren(ViewNodeId parent, bool full);
    // Whether sortChildren would leave the children as they are.
    bool isSorted(ViewNodeId parent, bool full) const;
    void sortAll(bool full);

    const Node& operator[](ViewNodeId id) const { return nodes[id]; }
    bool valid(ViewNodeId id) const { return id != 0 && id < nodes.size(); }
    // View nodes, the top level not counted.
    size_t size() const { return nodes.size() - 1; }
    size_t memoryBytes() const;

    // Depth first in view order: f(id, depth), the top level at depth 0. No recursion, so any
    // depth the platform's list makes is safe.
    template <class F> void walk(F&& f) const {
        struct Step {
            ViewNodeId parent;
            size_t next;
        };
        std::vector<Step> stack{{0, 0}};
        while (!stack.empty()) {
            Step& s = stack.back();
            const std::vector<ViewNodeId>& c = nodes[s.parent].children;
            if (s.next == c.size()) {
                stack.pop_back();
                continue;
            }
            const ViewNodeId id = c[s.next++];
            f(id, stack.size() - 1);
            if (!nodes[id].children.empty()) stack.push_back({id, 0});
        }
    }

private:
    std::vector<Node> nodes;
};

} // namespace api
