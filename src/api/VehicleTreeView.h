#pragma once

#include <cstdint>

#include "api/TRNode.h"

namespace api {

// What the vehicle tree needs of a tree view control. A view node carries its TRNode and the
// record's kind as state index; its text is VehicleTree::viewText of the node, read by the view
// whenever it shows the node, so only the image is stored with it.
class VehicleTreeView {
public:
    virtual ~VehicleTreeView() = default;

    // Every call of one refresh comes between these two; `full` when the view is rebuilt.
    virtual void beginRefresh(bool full) { (void)full; }
    virtual void endRefresh() {}

    // Removes every view node.
    virtual void clearNodes() = 0;
    // A new last child of `parent` (0: the top level).
    virtual ViewNodeId addNode(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image) = 0;
    // The node's text and image are to be shown as they are now; the selected image is the same.
    virtual void updateNode(ViewNodeId id, int image) = 0;
    // Orders the children of `parent` (0: the top level), or of every node, by
    // VehicleTree::compare in the given mode.
    virtual void sortChildren(ViewNodeId parent, bool full) = 0;
    virtual void sortAll(bool full) = 0;
    virtual void collapseAll() = 0;
    // Expands one level.
    virtual void expand(ViewNodeId id) = 0;
};

} // namespace api
