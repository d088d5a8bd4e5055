#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingTreeView.h"
#include "api/CJvalue.h"
#include "api/VehicleList.h"
#include "api/VehicleTree.h"
#include "media/SIMCH.h"
#include "util/DateTime.h"
#include "util/GbkText.h"

using api::CarTreeMap;
using api::TRNode;
using api::VehicleTree;
using apitest::RecordingTreeView;
using util::utf8ToGbk;

namespace {

std::string sim(const char* digits) {
    return media::padSim(digits);
}

CarTreeMap records(const std::string& utf8List) {
    api::CJvalue v;
    EXPECT_TRUE(v.parse(utf8ToGbk(utf8List)));
    CarTreeMap m;
    EXPECT_TRUE(api::readVehicleList(v, m));
    return m;
}

// Two organisations with vehicles, listed against their id order; an empty one; a kind that is
// not kept; a vehicle of two SIMs and a trailing ";" whose first terminal has two channels, one
// beyond the labels; offline names that sort differently in GBK and in Unicode; a vehicle whose
// parent is unknown.
const char* kFleet = R"([
    {"id":"o1","pId":"","dept":1,"name":"公司"},
    {"id":"o3","pId":"o1","dept":2,"name":"乙队"},
    {"id":"o2","pId":"o1","dept":2,"name":"甲队"},
    {"id":"o4","pId":"o1","dept":2,"name":"空队"},
    {"id":"v1","pId":"o2","dept":3,"name":"张车","isOnline":0,"sjhm":"13900000001;13900000002;"},
    {"id":"v2","pId":"o2","dept":3,"name":"粤B1","isOnline":1,"sjhm":"13900000003"},
    {"id":"v3","pId":"o2","dept":3,"name":"李车","isOnline":0,"sjhm":"13900000004"},
    {"id":"v4","pId":"o3","dept":3,"name":"闽C1","isOnline":1,"sjhm":"13900000005"},
    {"id":"v5","pId":"o3","dept":3,"name":"闽C2","isOnline":0,"sjhm":"13900000006"},
    {"id":"c1","pId":"v1","dept":4,"name":"前门 有为","sptd":1,"sjhm":"13900000001"},
    {"id":"c2","pId":"v1","dept":4,"name":"后门","sptd":40,"sjhm":"13900000001"},
    {"id":"x","pId":"o1","dept":6,"name":"?"},
    {"id":"v9","pId":"gone","dept":3,"name":"孤车","isOnline":1,"sjhm":"13900000009"}])";

// The fleet after a full refresh, in view order.
const char* kFleetShown = "公司(2/5)\tkind=1 image=0\n"
                          "  乙队(1/2)\tkind=2 image=1\n"
                          "    闽C1\tkind=3 image=2\n"
                          "      00000000013900000005\tkind=4 image=6\n"
                          "    闽C2\tkind=3 image=3\n"
                          "      00000000013900000006\tkind=4 image=7\n"
                          "  甲队(1/3)\tkind=2 image=1\n"
                          "    粤B1\tkind=3 image=2\n"
                          "      00000000013900000003\tkind=4 image=6\n"
                          "    李车\tkind=3 image=3\n"
                          "      00000000013900000004\tkind=4 image=7\n"
                          "    张车\tkind=3 image=3\n"
                          "      00000000013900000001\tkind=4 image=7\n"
                          "        CH1 \tkind=5 image=5\n"
                          "        \tkind=5 image=5\n"
                          "      00000000000000000000\tkind=4 image=7\n"
                          "      00000000013900000002\tkind=4 image=7\n"
                          "孤车\tkind=3 image=2\n"
                          "  00000000013900000009\tkind=4 image=6\n";

class Tree : public ::testing::Test {
protected:
    explicit Tree(const char* list = kFleet) : vehicles(records(list)), tree(vehicles) {
        tree.rebuild();
        tree.setTreeView(&view);
    }

    TRNode& node(const std::string& id) { return *vehicles.at(id).treeNode; }
    // Every record's node carries that record, and every node's record is one of the records.
    void expectLinked() {
        size_t linked = 0;
        for (auto& [id, r] : vehicles) {
            ASSERT_NE(r.treeNode, nullptr) << id;
            EXPECT_EQ(r.treeNode->data, &r) << id;
            ++linked;
        }
        EXPECT_EQ(tree.nodeCount(), linked);
        view.nodes().walk([&](api::ViewNodeId id, size_t) {
            const TRNode* n = view.nodes()[id].data;
            EXPECT_EQ(vehicles.at(n->data->id).treeNode, n);
        });
    }

    CarTreeMap vehicles;
    VehicleTree tree;
    RecordingTreeView view;
};

TEST_F(Tree, FullRefreshShowsCountsImagesAndOrder) {
    tree.refreshTree(true);
    EXPECT_EQ(view.render(), kFleetShown);
    // Counting the same records again must not add up twice.
    tree.refreshTree(true);
    EXPECT_EQ(view.render(), kFleetShown);
    expectLinked();
    EXPECT_EQ(util::gbkToUtf8(tree.terminalTitle({sim("13900000001"), 0})), "前门 有为");
    // Two top-level nodes: everything stays folded.
    EXPECT_EQ(view.calls.back(), "end");
    EXPECT_EQ(view.calls[view.calls.size() - 2], "collapseAll");
    EXPECT_EQ(view.calls[view.calls.size() - 3], "sortAll full");
}

TEST_F(Tree, WithoutAViewNothingIsShownButStatesHold) {
    tree.setTreeView(nullptr);
    view.calls.clear();
    tree.refreshTree(true);
    tree.refreshTree(false);
    EXPECT_TRUE(view.calls.empty());
    tree.setTerminalState(sim("13900000004"), true, 1.0, true, 1.0);
    EXPECT_TRUE(tree.isTerminalOnline({sim("13900000004"), 3}));
    EXPECT_TRUE(vehicles.at("v3").online);
}

TEST(TreeOneTop, TheOnlyTopLevelNodeOpensOneLevel) {
    for (bool orphan : {false, true}) {
        SCOPED_TRACE(orphan);
        std::string list = R"([{"id":"o1","pId":"","dept":1,"name":"公司"},
            {"id":"o2","pId":"o1","dept":2,"name":"队"},
            {"id":"v1","pId":"o2","dept":3,"name":"车","isOnline":0,"sjhm":"1"})";
        if (orphan)
            list += R"(,{"id":"v9","pId":"?","dept":3,"name":"孤","isOnline":0,"sjhm":"9"})";
        CarTreeMap m = records(list + "]");
        VehicleTree tree(m);
        RecordingTreeView view;
        tree.setTreeView(&view);
        tree.refreshTree(true);
        const TRNode& top = *m.at("o1").treeNode;
        EXPECT_EQ(top.expanded, !orphan);
        EXPECT_EQ(view.isExpanded(top.viewNode), !orphan);
        EXPECT_FALSE(m.at("o2").treeNode->expanded);
        EXPECT_EQ(view.only("expand").size(), orphan ? 0u : 1u);
    }
}

TEST_F(Tree, PartialSortTouchesOnlyExpandedNodesAndKeepsOrganisationsInPlace) {
    tree.refreshTree(true);
    tree.nodeExpanded(node("o1"));
    tree.nodeExpanded(node("o2"));
    // 张车 comes online, 闽C1 goes off and 闽C2 comes on.
    tree.setTerminalState(sim("13900000002"), true, 1.0, false, 0);
    tree.setTerminalState(sim("13900000005"), false, 1.0, false, 0);
    tree.setTerminalState(sim("13900000006"), true, 1.0, false, 0);
    tree.refreshTree(false);
    const std::string shown = view.render();
    // 甲队 is open: its online vehicles lead, each group by name. 乙队 is shut: its images and
    // counts follow, its order waits until it opens. The organisations keep the platform's order.
    EXPECT_EQ(shown.substr(0, shown.find("甲队")), "公司(3/5)\tkind=1 image=0\n"
                                                   "  乙队(1/2)\tkind=2 image=1\n"
                                                   "    闽C1\tkind=3 image=3\n"
                                                   "      00000000013900000005\tkind=4 image=7\n"
                                                   "    闽C2\tkind=3 image=2\n"
                                                   "      00000000013900000006\tkind=4 image=6\n"
                                                   "  ");
    EXPECT_NE(shown.find("  甲队(2/3)\tkind=2 image=1\n"
                         "    粤B1\tkind=3 image=2\n"
                         "      00000000013900000003\tkind=4 image=6\n"
                         "    张车\tkind=3 image=2\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("      00000000013900000002\tkind=4 image=6\n"), std::string::npos);

    tree.nodeExpanded(node("o3"));
    const std::string opened = view.render();
    EXPECT_LT(opened.find("闽C2"), opened.find("闽C1"));
    EXPECT_EQ(view.calls.back(), "sort 乙队(1/2)");

    // Folded shut again, it is no longer sorted by the refreshes.
    tree.nodeCollapsed(node("o3"));
    view.calls.clear();
    tree.refreshTree(false);
    EXPECT_EQ(view.only("sort"), (std::vector<std::string>{"sort 公司(3/5)", "sort 甲队(2/3)"}));
}

TEST_F(Tree, StatesExpireAfterFiveMinutes) {
    const util::DateTime now = util::encodeDateTime(2026, 5, 1, 12, 0, 0);
    const auto ago = [&](int seconds) { return now - seconds / 86400.0; };
    struct Case {
        int first, second; // ages of the two terminals' last reports (v1 has three terminals)
        bool firstOnline, secondOnline, vehicleOnline;
    };
    const std::vector<Case> cases = {
        {299, 299, true, true, true},
        {300, 299, false, true, true},
        {300, 300, false, false, false},
        {299, 100000, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "/" + std::to_string(c.second));
        tree.setTerminalState(sim("13900000001"), true, ago(c.first), true, ago(c.first));
        tree.setTerminalState(sim("13900000002"), true, ago(c.second), false, 0);
        tree.expireStates(now);
        api::TerminalState s;
        EXPECT_EQ(tree.terminalState({sim("13900000001"), 1}, s), c.firstOnline);
        EXPECT_EQ(s.gpsAcc, c.firstOnline);
        EXPECT_EQ(tree.isTerminalOnline({sim("13900000002"), 1}), c.secondOnline);
        EXPECT_EQ(vehicles.at("v1").online, c.vehicleOnline);
        // The list's own online flags carry no report time: they lapse at the first expiry.
        tree.refreshTree(false);
        EXPECT_NE(view.render().find(std::string("甲队(") + (c.vehicleOnline ? "1" : "0") + "/3)"),
                  std::string::npos);
    }
}

TEST_F(Tree, MarkOfflineTakesTheVehicleWithItsLastTerminal) {
    tree.setTerminalState(sim("13900000002"), true, 1.0, false, 0);
    tree.setTerminalState(sim("13900000001"), true, 1.0, false, 0);
    tree.markOffline({sim("13900000001"), 2});
    EXPECT_TRUE(vehicles.at("v1").online);
    tree.markOffline({sim("13900000002"), 1});
    EXPECT_FALSE(vehicles.at("v1").online);
    // A SIM nobody has changes nothing.
    tree.markOffline({sim("13900000077"), 1});
    tree.setTerminalState(sim("13900000077"), true, 1.0, true, 1.0);
    EXPECT_FALSE(tree.isTerminalOnline({sim("13900000077"), 1}));
}

TEST_F(Tree, TerminalQueries) {
    tree.setTerminalState(sim("13900000001"), true, 2.5, true, 3.5);
    const api::TerminalInfo info = tree.terminalInfo({sim("13900000001"), 9});
    EXPECT_TRUE(info.online);
    EXPECT_TRUE(info.gpsAcc);
    EXPECT_EQ(util::gbkToUtf8(info.vehicleName), "张车");
    EXPECT_EQ(info.channels, (std::vector<std::string>{"CH1 ", ""}));
    api::TerminalState s;
    EXPECT_TRUE(tree.terminalState({sim("13900000001"), 0}, s));
    EXPECT_EQ(std::tie(s.onlineTime, s.gpsAccTime), std::make_tuple(2.5, 3.5));
    EXPECT_TRUE(tree.terminalInfo({sim("13900000002"), 0}).channels.empty());

    const media::SIMCH unknown{sim("13900000077"), 1};
    const api::TerminalInfo none = tree.terminalInfo(unknown);
    EXPECT_FALSE(none.online || none.gpsAcc);
    EXPECT_TRUE(none.vehicleName.empty() && none.channels.empty());
    EXPECT_FALSE(tree.terminalState(unknown, s));
    EXPECT_EQ(s.onlineTime, 0);
    EXPECT_FALSE(tree.isTerminalOnline(unknown));
    EXPECT_TRUE(tree.terminalTitle(unknown).empty());
}

TEST(TreeIndex, ASimOnTwoVehiclesAndManySims) {
    std::string list = R"([{"id":"b","pId":"","dept":3,"name":"乙","isOnline":0,"sjhm":"77"},
        {"id":"a","pId":"","dept":3,"name":"甲","isOnline":0,"sjhm":"77"})";
    for (int v = 0; v < 3000; ++v)
        list += R"(,{"id":"x)" + std::to_string(v) + R"(","pId":"","dept":3,"name":"n",)" +
                R"("isOnline":0,"sjhm":")" + std::to_string(13900000000LL + v * 7919) + "\"}";
    CarTreeMap m = records(list + "]");
    VehicleTree tree(m);
    // Both terminals of the SIM, the first attached (vehicle a, first in id order) answering.
    EXPECT_EQ(tree.simIndex.find(sim("77")).size(), 2u);
    EXPECT_EQ(util::gbkToUtf8(tree.terminalInfo({sim("77"), 0}).vehicleName), "甲");
    tree.setTerminalState(sim("77"), true, 1.0, false, 0);
    EXPECT_TRUE(m.at("a").online && m.at("b").online);
    for (int v = 0; v < 3000; ++v) {
        const std::string s = sim(std::to_string(13900000000LL + v * 7919).c_str());
        ASSERT_EQ(tree.simIndex.find(s).size(), 1u) << s;
        EXPECT_EQ(tree.simIndex.find(s)[0].node->parent->data->id, "x" + std::to_string(v));
    }
    EXPECT_TRUE(tree.simIndex.find(sim("13900000001")).empty());
    EXPECT_TRUE(tree.simIndex.find("").empty());
}

// A cached vehicle may say online while none of its terminals does; the first expiry settles it.
TEST(TreeExpiry, TheFirstExpirySettlesEveryVehicle) {
    CarTreeMap m = records(R"([{"id":"v","pId":"","dept":3,"name":"车","isOnline":1,"sjhm":"5"}])");
    m.at("v" + sim("5")).online = false;
    VehicleTree tree(m);
    tree.expireStates(46000);
    EXPECT_FALSE(m.at("v").online);
}

TEST(TreeCompare, BothModes) {
    CarTreeMap m = records(R"([
        {"id":"a","pId":"","dept":1,"name":"乙"},
        {"id":"b","pId":"","dept":1,"name":"甲"},
        {"id":"f","pId":"","dept":2,"name":"队"},
        {"id":"v1","pId":"","dept":3,"name":"张","isOnline":0,"sjhm":"1"},
        {"id":"v2","pId":"","dept":3,"name":"李","isOnline":0,"sjhm":"2"},
        {"id":"v3","pId":"","dept":3,"name":"张","isOnline":0,"sjhm":"3"},
        {"id":"v4","pId":"","dept":3,"name":"赵","isOnline":1,"sjhm":"4"}])");
    VehicleTree tree(m);
    tree.rebuild();
    const auto n = [&](const char* id) { return m.at(id).treeNode; };
    struct Case {
        const char *a, *b;
        int partial, full;
    };
    const std::vector<Case> cases = {
        {"a", "b", 0, -1},    // organisations: equal, or in the platform's order
        {"b", "a", 0, 1},     //
        {"a", "a", 0, 0},     //
        {"f", "a", 1, 1},     // a lower kind first
        {"v1", "f", 1, 1},    //
        {"v4", "v2", -1, -1}, // online first, whatever the name
        {"v2", "v1", -1, -1}, // GBK byte order: 李 before 张
        {"v1", "v3", 1, 1},   // equal names: a after b, both ways
        {"v3", "v1", 1, 1},   //
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " " + c.b);
        EXPECT_EQ(VehicleTree::compare(n(c.a), n(c.b), false), c.partial);
        EXPECT_EQ(VehicleTree::compare(n(c.a), n(c.b), true), c.full);
    }
    EXPECT_EQ(VehicleTree::compare(&tree.root, n("a"), true), 0); // without data
}

TEST(TreeLoops, CyclesAndSelfParentsHangAtTheTop) {
    CarTreeMap m = records(R"([
        {"id":"a","pId":"b","dept":1,"name":"甲"},
        {"id":"b","pId":"a","dept":1,"name":"乙"},
        {"id":"s","pId":"s","dept":2,"name":"自"},
        {"id":"va","pId":"a","dept":3,"name":"车1","isOnline":1,"sjhm":"1"},
        {"id":"vs","pId":"s","dept":3,"name":"车2","isOnline":0,"sjhm":"2"}])");
    VehicleTree tree(m);
    RecordingTreeView view;
    tree.setTreeView(&view);
    tree.refreshTree(true);
    // a's parent b comes first and, its own parent being a, closes the loop at the top.
    EXPECT_EQ(view.render(), "乙(1/1)\tkind=1 image=0\n"
                             "  甲(1/1)\tkind=1 image=0\n"
                             "    车1\tkind=3 image=2\n"
                             "      00000000000000000001\tkind=4 image=6\n"
                             "自(0/1)\tkind=2 image=1\n"
                             "  车2\tkind=3 image=3\n"
                             "    00000000000000000002\tkind=4 image=7\n");
    EXPECT_EQ(m.at("b").treeNode->parent, &tree.root);
    EXPECT_EQ(m.at("s").treeNode->parent, &tree.root);
}

TEST(TreeLoops, AChainOfAHundredThousandOrganisations) {
    CarTreeMap m;
    constexpr int kDepth = 100000;
    for (int i = 0; i < kDepth; ++i) {
        api::CarTreeNode r;
        r.id = "o" + std::to_string(i);
        r.pId = i ? "o" + std::to_string(i - 1) : "";
        r.kind = api::kFleet;
        r.name = "n";
        m.emplace(r.id, r);
    }
    api::CarTreeNode v;
    v.id = "v";
    v.pId = "o" + std::to_string(kDepth - 1);
    v.kind = api::kVehicle;
    v.online = true;
    m.emplace(v.id, v);
    VehicleTree tree(m);
    api::TextTreeView view;
    tree.setTreeView(&view);
    tree.refreshTree(true);
    EXPECT_EQ(view.nodes().size(), kDepth + 1u);
    EXPECT_EQ(m.at("o0").total, 1u);
    EXPECT_EQ(m.at("o0").onlineCount, 1u);
    size_t shown = 0, deepest = 0;
    view.nodes().walk([&](api::ViewNodeId, size_t depth) {
        ++shown;
        deepest = std::max(deepest, depth);
    });
    EXPECT_EQ(shown, kDepth + 1u);
    EXPECT_EQ(deepest, size_t{kDepth});
}

TEST_F(Tree, RecordsReplacedWhileTheTreeIsShown) {
    tree.refreshTree(true);
    tree.nodeExpanded(node("o1"));
    ASSERT_GT(view.nodes().size(), 0u);
    tree.replaceRecords(records(R"([{"id":"n1","pId":"","dept":1,"name":"新"},
        {"id":"w1","pId":"n1","dept":3,"name":"车","isOnline":1,"sjhm":"13900000001"}])"));
    // The view was emptied with the old nodes; the new tree is there for states at once.
    EXPECT_EQ(view.nodes().size(), 0u);
    expectLinked();
    EXPECT_EQ(util::gbkToUtf8(tree.terminalInfo({sim("13900000001"), 0}).vehicleName), "车");
    EXPECT_FALSE(tree.isTerminalOnline({sim("13900000003"), 0}));
    tree.setTerminalState(sim("13900000001"), false, 0, false, 0);
    // A partial refresh fills the emptied view; sorting expanded nodes finds none of the old.
    view.calls.clear();
    tree.refreshTree(false);
    EXPECT_EQ(view.render(), "新(0/1)\tkind=1 image=0\n"
                             "  车\tkind=3 image=3\n"
                             "    00000000013900000001\tkind=4 image=7\n");
    EXPECT_TRUE(view.only("sort").empty());
    expectLinked();
}

// However states change between refreshes, what a partial refresh shows equals a tree counted
// from scratch over the same records.
TEST(TreeUpkeep, PartialRefreshesAgreeWithACountFromScratch) {
    std::string list = R"([{"id":"c","pId":"","dept":1,"name":"总"})";
    for (int f = 0; f < 4; ++f)
        list += R"(,{"id":"f)" + std::to_string(f) + R"(","pId":"c","dept":2,"name":"队"})";
    list += R"(,{"id":"f9","pId":"f0","dept":2,"name":"子队"})";
    for (int v = 0; v < 40; ++v) {
        const std::string parent = v % 7 == 0 ? "f9" : "f" + std::to_string(v % 4);
        list += R"(,{"id":"v)" + std::to_string(v) + R"(","pId":")" + parent +
                R"(","dept":3,"name":"车)" + std::to_string(v % 9) + R"(","isOnline":)" +
                std::to_string(v % 2) + R"(,"sjhm":")" + std::to_string(100 + v) +
                (v % 3 ? "" : ";" + std::to_string(900 + v)) + "\"}";
    }
    CarTreeMap m = records(list + "]");
    VehicleTree tree(m);
    api::TextTreeView view;
    tree.setTreeView(&view);
    tree.refreshTree(true);
    tree.nodeExpanded(*m.at("f1").treeNode);

    std::mt19937 random(7);
    std::vector<std::string> sims;
    for (const auto& e : tree.simIndex.all())
        sims.emplace_back(e.sim);
    const util::DateTime now = 46000;
    const auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        std::sort(out.begin(), out.end());
        return out;
    };
    for (int round = 0; round < 60; ++round) {
        for (int k = 0; k < 1 + round % 5; ++k) {
            const std::string& s = sims[random() % sims.size()];
            switch (random() % 3) {
            case 0:
                tree.setTerminalState(s, random() % 2, now - (random() % 600) / 86400.0, true, 0);
                break;
            case 1:
                tree.markOffline({s, 1});
                break;
            default:
                tree.expireStates(now);
            }
        }
        tree.refreshTree(false);
        CarTreeMap copy = m;
        VehicleTree fresh(copy);
        api::TextTreeView freshView;
        fresh.setTreeView(&freshView);
        fresh.refreshTree(true);
        ASSERT_EQ(lines(view.render()), lines(freshView.render())) << "round " << round;
    }
}

} // namespace
