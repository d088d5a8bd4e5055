#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "GuiApp.h"
#include "api/CJvalue.h"
#include "api/TextTreeView.h"
#include "api/VehicleList.h"
#include "api/VehicleTree.h"
#include "api/gui/QtVehicleTreeView.h"
#include "api/gui/TreeImages.h"
#include "api/gui/VehicleTreeModel.h"
#include "media/SIMCH.h"
#include "util/GbkText.h"

using api::TRNode;
using api::gui::VehicleTreeModel;

namespace {

api::CarTreeMap records(const std::string& utf8List) {
    api::CJvalue v;
    EXPECT_TRUE(v.parse(util::utf8ToGbk(utf8List)));
    api::CarTreeMap m;
    EXPECT_TRUE(api::readVehicleList(v, m));
    return m;
}

// One company of two fleets; the first fleet's vehicles are offline but for the last by name.
const char* kFleet = R"([
    {"id":"o1","pId":"","dept":1,"name":"公司"},
    {"id":"f1","pId":"o1","dept":2,"name":"一队"},
    {"id":"f2","pId":"o1","dept":2,"name":"二队"},
    {"id":"v1","pId":"f1","dept":3,"name":"粤B3","isOnline":0,"sjhm":"1"},
    {"id":"v2","pId":"f1","dept":3,"name":"粤B1","isOnline":0,"sjhm":"2"},
    {"id":"v3","pId":"f1","dept":3,"name":"粤B2","isOnline":0,"sjhm":"3"},
    {"id":"v4","pId":"f1","dept":3,"name":"粤B9","isOnline":1,"sjhm":"4;5"},
    {"id":"v5","pId":"f2","dept":3,"name":"闽A1","isOnline":1,"sjhm":"6"},
    {"id":"c1","pId":"v4","dept":4,"name":"前","sptd":1,"sjhm":"4"},
    {"id":"c2","pId":"v4","dept":4,"name":"后","sptd":2,"sjhm":"4"}])";

class TreeModel : public ::testing::Test {
protected:
    TreeModel() : vehicles(records(kFleet)), tree(vehicles) {
        apitest::guiApp();
        view.resize(320, 480);
        shown = std::make_unique<api::gui::QtVehicleTreeView>(tree, view);
        tester = std::make_unique<QAbstractItemModelTester>(
            &model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        tree.refreshTree(true);
    }
    ~TreeModel() override {
        tester.reset();
        shown.reset();
    }

    VehicleTreeModel& model() { return shown->model(); }
    QModelIndex at(const std::string& id) {
        return model().indexOf(vehicles.at(id).treeNode->viewNode);
    }
    // The rows as the text view writes them.
    std::string rows(const QModelIndex& parent = {}, int depth = 0) {
        std::string out;
        for (int r = 0; r < model().rowCount(parent); ++r) {
            const QModelIndex i = model().index(r, 0, parent);
            const TRNode* n = VehicleTreeModel::node(i);
            out += std::string(2 * depth, ' ') + i.data().toString().toStdString() +
                   "\tkind=" + std::to_string(i.data(VehicleTreeModel::KindRole).toInt()) +
                   " image=" + std::to_string(model().nodes()[n->viewNode].image) + "\n";
            EXPECT_EQ(i.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                      api::gui::TreeImages::icon(model().nodes()[n->viewNode].image).cacheKey());
            out += rows(i, depth + 1);
        }
        return out;
    }
    void online(const char* sim, bool on) {
        tree.setTerminalState(media::padSim(sim), on, 46000, false, 0);
    }

    api::CarTreeMap vehicles;
    api::VehicleTree tree;
    QTreeView view;
    std::unique_ptr<api::gui::QtVehicleTreeView> shown;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(TreeModel, RowsAreTheTreesViewNodes) {
    api::CarTreeMap copy = vehicles;
    api::VehicleTree same(copy);
    api::TextTreeView text;
    same.setTreeView(&text);
    same.refreshTree(true);
    EXPECT_EQ(rows(), text.render());
    // The only top-level node is open, in the view and in the tree.
    EXPECT_TRUE(view.isExpanded(at("o1")));
    EXPECT_TRUE(vehicles.at("o1").treeNode->expanded);
    EXPECT_FALSE(view.isExpanded(at("f1")));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.expandAll();
    apitest::screenshot(view, "vehicle-tree");
}

TEST_F(TreeModel, FoldingReachesTheTree) {
    // 粤B3 comes online while its fleet is shut; opening the fleet puts it first.
    online("1", true);
    view.expand(at("f1"));
    EXPECT_TRUE(vehicles.at("f1").treeNode->expanded);
    const QModelIndex first = model().index(0, 0, at("f1"));
    EXPECT_EQ(VehicleTreeModel::node(first), vehicles.at("v1").treeNode);
    view.collapse(at("f1"));
    EXPECT_FALSE(vehicles.at("f1").treeNode->expanded);
    // A full refresh folds everything but the one top node.
    view.expand(at("f1"));
    tree.refreshTree(true);
    EXPECT_FALSE(vehicles.at("f1").treeNode->expanded);
    EXPECT_FALSE(view.isExpanded(at("f1")));
    EXPECT_TRUE(view.isExpanded(at("o1")));
}

TEST_F(TreeModel, PartialRefreshMovesRowsAndKeepsTheSelection) {
    view.expand(at("f1"));
    view.setCurrentIndex(at("v3")); // 粤B2, third of the fleet
    ASSERT_EQ(view.currentIndex().row(), 2);
    QSignalSpy changed(&model(), &QAbstractItemModel::dataChanged);
    online("3", true);
    online("6", false); // 闽A1: its fleet is shut, it cannot be seen
    tree.refreshTree(false);
    EXPECT_EQ(VehicleTreeModel::node(view.currentIndex()), vehicles.at("v3").treeNode);
    EXPECT_EQ(view.currentIndex().row(), 0); // online 粤B2 before online 粤B9
    EXPECT_EQ(at("v3").data(Qt::DecorationRole).value<QIcon>().cacheKey(),
              api::gui::TreeImages::icon(2).cacheKey());
    std::vector<std::string> reported;
    for (const QList<QVariant>& args : changed)
        reported.push_back(args[0].toModelIndex().data().toString().toStdString());
    EXPECT_NE(std::find(reported.begin(), reported.end(), "粤B2"), reported.end());
    EXPECT_NE(std::find(reported.begin(), reported.end(), "一队(2/4)"), reported.end());
    EXPECT_NE(std::find(reported.begin(), reported.end(), "公司(2/5)"), reported.end());
    EXPECT_EQ(at("f2").data().toString().toStdString(), "二队(0/1)");
    EXPECT_EQ(at("v5").data(Qt::DecorationRole).value<QIcon>().cacheKey(),
              api::gui::TreeImages::icon(3).cacheKey());
}

TEST_F(TreeModel, RecordsReplacedAndViewWithdrawn) {
    view.expand(at("f1"));
    view.setCurrentIndex(at("v2"));
    tree.replaceRecords(records(R"([{"id":"n","pId":"","dept":3,"name":"新车","isOnline":1,
        "sjhm":"8"}])"));
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_FALSE(view.currentIndex().isValid());
    tree.refreshTree(false);
    ASSERT_EQ(model().rowCount(), 1);
    EXPECT_EQ(model().index(0, 0).data().toString().toStdString(), "新车");
    shown.reset();
    tester.reset();
    EXPECT_EQ(tree.treeView(), nullptr);
    EXPECT_EQ(view.model(), nullptr);
    tree.refreshTree(true); // no view: nothing to do
}

} // namespace
