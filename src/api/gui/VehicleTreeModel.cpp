#include "api/gui/VehicleTreeModel.h"

#include "api/VehicleTree.h"
#include "api/gui/TreeImages.h"
#include "util/GbkText.h"

namespace api::gui {

VehicleTreeModel::VehicleTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

TRNode* VehicleTreeModel::node(const QModelIndex& index) {
    return index.isValid() ? static_cast<TRNode*>(index.internalPointer()) : nullptr;
}

QModelIndex VehicleTreeModel::indexOf(ViewNodeId id) const {
    if (!forest.valid(id)) return {};
    const ViewForest::Node& n = forest[id];
    return createIndex(static_cast<int>(n.row), 0, n.data);
}

QModelIndex VehicleTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const TRNode* p = node(parent);
    const ViewNodeId parentId = p ? p->viewNode : 0;
    const std::vector<ViewNodeId>& children = forest[parentId].children;
    if (static_cast<size_t>(row) >= children.size()) return {};
    return createIndex(row, 0, forest[children[static_cast<size_t>(row)]].data);
}

QModelIndex VehicleTreeModel::parent(const QModelIndex& child) const {
    const TRNode* n = node(child);
    if (!n) return {};
    return indexOf(forest[n->viewNode].parent);
}

int VehicleTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const TRNode* p = node(parent);
    return static_cast<int>(forest[p ? p->viewNode : 0].children.size());
}

int VehicleTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant VehicleTreeModel::data(const QModelIndex& index, int role) const {
    const TRNode* n = node(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(util::gbkToUtf8(VehicleTree::viewText(*n)));
    case Qt::DecorationRole:
        return TreeImages::icon(forest[n->viewNode].image);
    case KindRole:
        return forest[n->viewNode].stateIndex;
    default:
        return {};
    }
}

Qt::ItemFlags VehicleTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void VehicleTreeModel::beginRebuild() {
    if (resetting) return;
    resetting = true;
    beginResetModel();
}

void VehicleTreeModel::endRebuild() {
    if (!resetting) return;
    resetting = false;
    endResetModel();
}

void VehicleTreeModel::clear() {
    if (resetting) {
        forest.clear();
        return;
    }
    beginResetModel();
    forest.clear();
    endResetModel();
}

ViewNodeId VehicleTreeModel::add(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image) {
    if (resetting) return forest.add(parent, &node, stateIndex, image);
    const int row = static_cast<int>(forest[parent].children.size());
    beginInsertRows(indexOf(parent), row, row);
    const ViewNodeId id = forest.add(parent, &node, stateIndex, image);
    endInsertRows();
    return id;
}

bool VehicleTreeModel::setImage(ViewNodeId id, int image) {
    return forest.valid(id) && forest.setImage(id, image);
}

void VehicleTreeModel::changed(ViewNodeId id) {
    if (resetting || !forest.valid(id)) return;
    const QModelIndex i = indexOf(id);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::DecorationRole});
}

void VehicleTreeModel::movePersistentRows() {
    // Indexes are known by their node, which keeps its identity; only the row moves.
    const QModelIndexList kept = persistentIndexList();
    for (const QModelIndex& old : kept) {
        TRNode* n = node(old);
        const int row = static_cast<int>(forest[n->viewNode].row);
        if (row != old.row()) changePersistentIndex(old, createIndex(row, 0, n));
    }
}

void VehicleTreeModel::sortChildren(ViewNodeId parent, bool full) {
    if (parent != 0 && !forest.valid(parent)) return;
    if (resetting) {
        forest.sortChildren(parent, full);
        return;
    }
    if (forest.isSorted(parent, full)) return;
    const QList<QPersistentModelIndex> parents{QPersistentModelIndex(indexOf(parent))};
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    forest.sortChildren(parent, full);
    movePersistentRows();
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}

void VehicleTreeModel::sortAll(bool full) {
    if (resetting) {
        forest.sortAll(full);
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    forest.sortAll(full);
    movePersistentRows();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace api::gui
