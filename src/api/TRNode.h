#pragma once

#include <cstdint>

#include "api/CarTreeNode.h"

namespace api {

// A node's handle in the tree view; 0 means none and, as a parent, the view's top level.
using ViewNodeId = uint32_t;

// One node of the vehicle tree. Nodes and records point at each other; `VehicleTree` owns the
// nodes and rebuilds them whenever the records are replaced, so neither link outlives the other.
struct TRNode {
    TRNode* parent = nullptr; // none only for the root
    TRNode* firstChild = nullptr;
    TRNode* nextSibling = nullptr;
    CarTreeNode* data = nullptr; // none for the root
    ViewNodeId viewNode = 0;
    // The record's kind, kept here so that the walks over the whole tree need not visit the
    // records, which lie scattered over the heap.
    uint8_t kind = 0;
    // Set and cleared through VehicleTree::nodeExpanded and nodeCollapsed.
    bool expanded = false;
    // Upkeep between refreshes: the online flag the organisations' counts hold for a vehicle,
    // whether the node waits in the tree's list of nodes to update, and whether a terminal is
    // in the list of those whose states can expire.
    bool countedOnline : 1 = false;
    bool dirty : 1 = false;
    bool live : 1 = false;
};

} // namespace api
