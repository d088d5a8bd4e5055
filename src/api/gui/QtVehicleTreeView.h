#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "api/VehicleTreeView.h"

class QTreeView;

namespace api {
class VehicleTree;
}

namespace api::gui {

class VehicleTreeModel;

// The vehicle tree's view on a QTreeView: the nodes live in a VehicleTreeModel, folding goes to
// the QTreeView, and the operator's folding comes back to the tree. A refresh that rebuilds the
// rows resets the model once; one that updates them reports only the rows that can be seen.
// Registers itself as the tree's view and withdraws when destroyed; the tree outlives it.
class QtVehicleTreeView : public QObject, public VehicleTreeView {
    Q_OBJECT

public:
    QtVehicleTreeView(VehicleTree& tree, QTreeView& treeView, QObject* parent = nullptr);
    ~QtVehicleTreeView() override;

    VehicleTreeModel& model() { return *rows; }

    void beginRefresh(bool full) override;
    void endRefresh() override;
    void clearNodes() override;
    ViewNodeId addNode(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image) override;
    void updateNode(ViewNodeId id, int image) override;
    void sortChildren(ViewNodeId parent, bool full) override;
    void sortAll(bool full) override;
    void collapseAll() override;
    void expand(ViewNodeId id) override;

private:
    bool shown(ViewNodeId id) const;

    VehicleTree& tree;
    QPointer<QTreeView> treeView;
    VehicleTreeModel* rows;
    bool refreshing = false;
    // Folding asked for while the rows are being rebuilt waits until the view has them.
    bool collapsePending = false;
    std::vector<ViewNodeId> expandPending;
    std::vector<ViewNodeId> updated;
};

} // namespace api::gui
