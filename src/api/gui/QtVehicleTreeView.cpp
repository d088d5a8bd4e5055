#include "api/gui/QtVehicleTreeView.h"

#include <QTreeView>

#include "api/VehicleTree.h"
#include "api/gui/VehicleTreeModel.h"

namespace api::gui {

QtVehicleTreeView::QtVehicleTreeView(VehicleTree& tree, QTreeView& view, QObject* parent)
    : QObject(parent), tree(tree), treeView(&view), rows(new VehicleTreeModel(this)) {
    view.setModel(rows);
    view.setHeaderHidden(true);
    // All rows are one line high: the view then lays out large trees without measuring rows.
    view.setUniformRowHeights(true);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(&view, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (TRNode* n = VehicleTreeModel::node(index)) this->tree.nodeExpanded(*n);
    });
    connect(&view, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (TRNode* n = VehicleTreeModel::node(index)) this->tree.nodeCollapsed(*n);
    });
    tree.setTreeView(this);
}

QtVehicleTreeView::~QtVehicleTreeView() {
    if (tree.treeView() == this) tree.setTreeView(nullptr);
    if (treeView && treeView->model() == rows) treeView->setModel(nullptr);
}

void QtVehicleTreeView::beginRefresh(bool full) {
    refreshing = true;
    updated.clear();
    // An empty view gets all its rows at once too.
    if (full || rows->nodes().size() == 0) rows->beginRebuild();
}

void QtVehicleTreeView::endRefresh() {
    refreshing = false;
    const bool rebuilt = rows->rebuilding();
    rows->endRebuild();
    if (!rebuilt)
        for (ViewNodeId id : updated)
            if (shown(id)) rows->changed(id);
    updated.clear();
    if (!treeView) return;
    if (collapsePending) treeView->collapseAll();
    collapsePending = false;
    const std::vector<ViewNodeId> expanding = std::move(expandPending);
    expandPending.clear();
    for (ViewNodeId id : expanding)
        treeView->expand(rows->indexOf(id));
}

bool QtVehicleTreeView::shown(ViewNodeId id) const {
    if (!treeView) return false;
    const ViewForest& f = rows->nodes();
    for (ViewNodeId p = f[id].parent; p != 0; p = f[p].parent)
        if (!treeView->isExpanded(rows->indexOf(p))) return false;
    return true;
}

void QtVehicleTreeView::clearNodes() {
    expandPending.clear();
    updated.clear();
    rows->clear();
}

ViewNodeId QtVehicleTreeView::addNode(ViewNodeId parent, TRNode& node, uint8_t stateIndex,
                                      int image) {
    return rows->add(parent, node, stateIndex, image);
}

void QtVehicleTreeView::updateNode(ViewNodeId id, int image) {
    rows->setImage(id, image);
    // An organisation's text carries its counts: it is reported whether or not the image moved.
    if (refreshing)
        updated.push_back(id);
    else if (shown(id))
        rows->changed(id);
}

void QtVehicleTreeView::sortChildren(ViewNodeId parent, bool full) {
    rows->sortChildren(parent, full);
}

void QtVehicleTreeView::sortAll(bool full) {
    rows->sortAll(full);
}

void QtVehicleTreeView::collapseAll() {
    if (refreshing && rows->rebuilding()) {
        collapsePending = true;
        expandPending.clear();
    } else if (treeView) {
        treeView->collapseAll();
    }
}

void QtVehicleTreeView::expand(ViewNodeId id) {
    if (refreshing && rows->rebuilding())
        expandPending.push_back(id);
    else if (treeView)
        treeView->expand(rows->indexOf(id));
}

} // namespace api::gui
