#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "api/CarTreeNode.h"
#include "api/SimIndex.h"
#include "api/TRNode.h"
#include "api/VehicleTreeView.h"
#include "media/SIMCH.h"
#include "util/DateTime.h"

namespace api {

// How long an online or ACC report holds: 0.00347 day, 299.8 seconds.
inline constexpr double kStateLifetime = 0.00347;

// What the operator's tools ask of a terminal.
struct TerminalInfo {
    bool online = false;
    bool gpsAcc = false;
    std::string vehicleName;
    std::vector<std::string> channels; // the channel labels, in the terminal's child order
};

struct TerminalState {
    bool online = false;
    util::DateTime onlineTime = 0;
    bool gpsAcc = false;
    util::DateTime gpsAccTime = 0;
};

// The vehicle records linked into a tree of organisations, vehicles, terminals and channels,
// the terminals indexed by SIM number, and the tree mirrored into a view with counts, images
// and a fixed order. The tree is rebuilt from the records whenever they are replaced, so no
// node ever points at a record that is gone, and the terminal states work with or without a
// view; a full refresh shows it anew with every count taken from scratch.
//
// Between refreshes only the nodes whose state changed are touched: online flags must change
// through setTerminalState, markOffline and expireStates, which note what the next refresh has
// to update.
class VehicleTree {
public:
    // Builds the tree of the records there are.
    explicit VehicleTree(CarTreeMap& vehicles);
    ~VehicleTree();
    VehicleTree(const VehicleTree&) = delete;
    VehicleTree& operator=(const VehicleTree&) = delete;

    TRNode root;
    SimIndex simIndex;

    // None disables the view operations. A new view is emptied and filled by the next refresh.
    // The view's nodes carry this tree's nodes: a view that outlives the tree is emptied or
    // destroyed before it shows anything again.
    void setTreeView(VehicleTreeView* view);
    VehicleTreeView* treeView() const { return view; }

    // Replaces the records: the view is emptied, the old tree dropped and a new one built.
    void replaceRecords(CarTreeMap&& records);
    // Builds the tree anew from the records as they stand.
    void rebuild();

    void refreshTree(bool full);
    void expireStates(util::DateTime now);
    void setTerminalState(const std::string& sim, bool online, util::DateTime onlineTime,
                          bool gpsAcc, util::DateTime gpsAccTime);
    void markOffline(const media::SIMCH& simch);

    // The first terminal node of the key's SIM (the channel plays no part); an unknown SIM
    // gives false flags, empty texts and an empty list.
    TerminalInfo terminalInfo(const media::SIMCH& simch) const;
    bool terminalState(const media::SIMCH& simch, TerminalState& out) const;
    bool isTerminalOnline(const media::SIMCH& simch) const;
    std::string terminalTitle(const media::SIMCH& simch) const;

    // The operator folded a node open or shut in the view; before it opens, its children are
    // put in order.
    void nodeExpanded(TRNode& node);
    void nodeCollapsed(TRNode& node);

    // Below 0 puts a first. Vehicles: online first, then by name byte by byte; other kinds of
    // one kind are equal in partial mode and in the platform's order in full mode.
    static int compare(const TRNode* a, const TRNode* b, bool full);
    // What the view shows for a node: organisations with their online and total counts.
    static std::string viewText(const TRNode& node);
    static int viewImage(const TRNode& node);

    size_t nodeCount() const { return nodes.size(); }
    size_t memoryBytes() const;

private:
    struct Build;

    void drop();
    void build();
    void restart();
    void attach(CarTreeNode& record, Build& b);
    TRNode& append(TRNode& parent, CarTreeNode& record, Build& b);
    void countTotals();
    void countOnline();
    void applyStateChanges(std::vector<TRNode*>& changed);
    void show();
    void setExpanded(TRNode& node, bool expanded);
    void setOnline(TRNode& node, bool online);
    void recomputeParent(TRNode& node);
    void markDirty(TRNode& node);
    void markLive(TRNode& node);
    const TRNode* firstTerminal(const media::SIMCH& simch) const;

    CarTreeMap& vehicles;
    VehicleTreeView* view = nullptr;
    // Every node but the root, parents before their children; the capacity is fixed before a
    // build, so the nodes never move.
    std::vector<TRNode> nodes;
    std::vector<TRNode*> dirtyNodes;
    // The terminals that are online or have ACC on, the only ones expiry can change; after a
    // build, every terminal, so that the first expiry settles every vehicle.
    std::vector<TRNode*> liveTerminals;
    std::vector<TRNode*> expandedNodes;
    // The view holds a node for every node that should have one.
    bool viewComplete = false;
    size_t topLevelCount = 0;
    TRNode* firstTopLevel = nullptr;
    // Marks the records of a parent chain while it is being attached.
    TRNode attaching;
};

} // namespace api
