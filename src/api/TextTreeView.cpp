#include "api/TextTreeView.h"

#include "api/VehicleTree.h"
#include "util/GbkText.h"

namespace api {

void TextTreeView::clearNodes() {
    forest.clear();
    expanded.clear();
}

ViewNodeId TextTreeView::addNode(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image) {
    return forest.add(parent, &node, stateIndex, image);
}

void TextTreeView::updateNode(ViewNodeId id, int image) {
    if (forest.valid(id)) forest.setImage(id, image);
}

void TextTreeView::sortChildren(ViewNodeId parent, bool full) {
    if (parent == 0 || forest.valid(parent)) forest.sortChildren(parent, full);
}

void TextTreeView::sortAll(bool full) {
    forest.sortAll(full);
}

void TextTreeView::collapseAll() {
    expanded.clear();
}

void TextTreeView::expand(ViewNodeId id) {
    if (!forest.valid(id)) return;
    if (expanded.size() <= id) expanded.resize(forest.size() + 1);
    expanded[id] = true;
}

std::string TextTreeView::render() const {
    std::string out;
    forest.walk([&](ViewNodeId id, size_t depth) {
        const ViewForest::Node& n = forest[id];
        out.append(2 * depth, ' ');
        out += util::gbkToUtf8(VehicleTree::viewText(*n.data));
        out +=
            "\tkind=" + std::to_string(n.stateIndex) + " image=" + std::to_string(n.image) + "\n";
    });
    return out;
}

} // namespace api
