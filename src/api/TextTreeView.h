#pragma once

#include <string>
#include <vector>

#include "api/VehicleTreeView.h"
#include "api/ViewForest.h"

namespace api {

// A tree view without a screen: keeps the view nodes and writes them out as text, for the
// command-line tools and for tests.
class TextTreeView : public VehicleTreeView {
public:
    void clearNodes() override;
    ViewNodeId addNode(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image) override;
    void updateNode(ViewNodeId id, int image) override;
    void sortChildren(ViewNodeId parent, bool full) override;
    void sortAll(bool full) override;
    void collapseAll() override;
    void expand(ViewNodeId id) override;

    const ViewForest& nodes() const { return forest; }
    bool isExpanded(ViewNodeId id) const { return id < expanded.size() && expanded[id]; }
    // One line per view node in view order: two spaces per level, the text (UTF-8), a tab and
    // "kind=K image=I".
    std::string render() const;

private:
    ViewForest forest;
    std::vector<bool> expanded;
};

} // namespace api
