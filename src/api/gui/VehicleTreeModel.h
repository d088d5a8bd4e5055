#pragma once

#include <QAbstractItemModel>

#include "api/TRNode.h"
#include "api/ViewForest.h"

namespace api::gui {

// The vehicle tree as an item model: one row per view node, each index carrying its TRNode.
// Texts are made from the records when asked (GBK to UTF-16) and never kept; only the image
// and the state index are stored per row. The changes come from QtVehicleTreeView, each with
// the signals a view needs.
class VehicleTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // The state index of a row: the record's kind.
    static constexpr int KindRole = Qt::UserRole;

    explicit VehicleTreeModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The tree node of an index; none for an invalid one.
    static TRNode* node(const QModelIndex& index);
    QModelIndex indexOf(ViewNodeId id) const;
    const ViewForest& nodes() const { return forest; }

    // Between these two every change goes without signals, and views start over at the end.
    void beginRebuild();
    void endRebuild();
    bool rebuilding() const { return resetting; }

    void clear();
    ViewNodeId add(ViewNodeId parent, TRNode& node, uint8_t stateIndex, int image);
    // True when the image changed; the text may have changed regardless.
    bool setImage(ViewNodeId id, int image);
    void changed(ViewNodeId id);
    void sortChildren(ViewNodeId parent, bool full);
    void sortAll(bool full);

private:
    void movePersistentRows();

    ViewForest forest;
    bool resetting = false;
};

} // namespace api::gui
