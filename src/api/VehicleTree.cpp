#include "api/VehicleTree.h"

#include <algorithm>
#include <string_view>

namespace api {

namespace {

bool isOrganisation(uint8_t kind) {
    return kind == kCompany || kind == kFleet;
}

// Children before parents, siblings in order; `pre` runs before a node's children. No recursion:
// a list may chain its records as deep as it likes.
template <class Pre, class Post> void postOrder(TRNode& root, Pre&& pre, Post&& post) {
    TRNode* n = root.firstChild;
    while (n) {
        pre(*n);
        if (n->firstChild) {
            n = n->firstChild;
            continue;
        }
        for (;;) {
            post(*n);
            if (n->nextSibling) {
                n = n->nextSibling;
                break;
            }
            n = n->parent;
            if (n == &root) {
                n = nullptr;
                break;
            }
        }
    }
}

// Parents before children, siblings in order, nothing below a channel.
template <class Visit> void preOrder(TRNode& root, Visit&& visit) {
    TRNode* n = root.firstChild;
    while (n) {
        visit(*n);
        if (n->firstChild && n->kind != kChannel) {
            n = n->firstChild;
            continue;
        }
        while (n != &root && !n->nextSibling)
            n = n->parent;
        n = n == &root ? nullptr : n->nextSibling;
    }
}

} // namespace

struct VehicleTree::Build {
    // The last child of the root (0) and of each node (its index + 1) while attaching.
    std::vector<TRNode*> lastChild;
    // The records of the parent chain being attached.
    std::vector<CarTreeNode*> chain;
    // The last parent looked up: a vehicle's terminals and a terminal's channels follow one
    // another in id order and share it.
    std::string_view lastParentId;
    CarTreeNode* lastParent = nullptr;

    CarTreeNode* find(CarTreeMap& records, const std::string& id) {
        if (lastParent && id == lastParentId) return lastParent;
        const auto p = records.find(id);
        if (p == records.end()) return nullptr;
        lastParentId = p->first;
        lastParent = &p->second;
        return lastParent;
    }
};

VehicleTree::VehicleTree(CarTreeMap& vehicles) : vehicles(vehicles) {
    build();
}

VehicleTree::~VehicleTree() = default;

void VehicleTree::setTreeView(VehicleTreeView* newView) {
    if (newView == view) return;
    // A new view starts folded.
    for (TRNode& n : nodes) {
        n.viewNode = 0;
        n.expanded = false;
    }
    expandedNodes.clear();
    viewComplete = false;
    topLevelCount = 0;
    firstTopLevel = nullptr;
    view = newView;
    if (view) view->clearNodes();
}

void VehicleTree::replaceRecords(CarTreeMap&& records) {
    drop();
    vehicles = std::move(records);
    build();
}

void VehicleTree::rebuild() {
    drop();
    build();
}

void VehicleTree::drop() {
    if (view) view->clearNodes();
    viewComplete = false;
    topLevelCount = 0;
    firstTopLevel = nullptr;
    simIndex.clear();
    dirtyNodes.clear();
    liveTerminals.clear();
    expandedNodes.clear();
    nodes = {};
    root = TRNode{};
}

// The tree is rebuilt whenever the records are replaced, so a full refresh needs no new nodes:
// the view starts over, and the counts are taken from scratch.
void VehicleTree::restart() {
    view->clearNodes();
    viewComplete = false;
    topLevelCount = 0;
    firstTopLevel = nullptr;
    for (TRNode& n : nodes)
        n.viewNode = 0;
    countTotals();
    countOnline();
}

void VehicleTree::build() {
    // Links left in the records (by an old tree, or copied with them) mean nothing here.
    for (auto& [id, r] : vehicles)
        r.treeNode = nullptr;
    nodes.reserve(vehicles.size());
    Build b;
    b.lastChild.assign(vehicles.size() + 1, nullptr);

    for (auto& [id, r] : vehicles)
        if (!r.treeNode) attach(r, b);
    simIndex.finish();
    countTotals();
    countOnline();
}

void VehicleTree::attach(CarTreeNode& record, Build& b) {
    // Up the parent chain to the first record that has a node. A parent that is already in
    // the chain (a record that is its own parent, or a loop) puts the chain at the top.
    b.chain.clear();
    TRNode* parent = &root;
    for (CarTreeNode* r = &record;;) {
        b.chain.push_back(r);
        r->treeNode = &attaching;
        CarTreeNode* p = b.find(vehicles, r->pId);
        if (!p || p->treeNode == &attaching) break;
        if (p->treeNode) {
            parent = p->treeNode;
            break;
        }
        r = p;
    }
    for (auto it = b.chain.rbegin(); it != b.chain.rend(); ++it)
        parent = &append(*parent, **it, b);
}

TRNode& VehicleTree::append(TRNode& parent, CarTreeNode& record, Build& b) {
    // One node per record and room reserved for all: the nodes never move.
    nodes.emplace_back();
    TRNode& n = nodes.back();
    n.parent = &parent;
    n.data = &record;
    n.kind = record.kind;
    const auto indexOf = [&](const TRNode& t) {
        return &t == &root ? 0 : static_cast<size_t>(&t - nodes.data()) + 1;
    };
    TRNode*& last = b.lastChild[indexOf(parent)];
    if (last)
        last->nextSibling = &n;
    else
        parent.firstChild = &n;
    last = &n;
    record.treeNode = &n;
    if (record.kind == kTerminal) {
        simIndex.add(record.name, &n);
        markLive(n);
    }
    return n;
}

void VehicleTree::countTotals() {
    // From zero, so that counting the same records again gives the same totals; only a node
    // with children ever counts any.
    postOrder(
        root,
        [](TRNode& n) {
            if (n.firstChild) n.data->total = 0;
        },
        [](TRNode& n) {
            CarTreeNode* p = n.parent->data;
            if (!p) return;
            if (n.kind == kVehicle)
                ++p->total;
            else if (isOrganisation(n.kind))
                p->total += n.data->total;
            else if (n.kind == kChannel && p->title.empty())
                p->title = n.data->title;
        });
}

void VehicleTree::countOnline() {
    postOrder(
        root,
        [](TRNode& n) {
            if (n.firstChild) n.data->onlineCount = 0;
        },
        [](TRNode& n) {
            if (n.kind == kVehicle) n.countedOnline = n.data->online;
            CarTreeNode* p = n.parent->data;
            if (!p) return;
            if (n.kind == kVehicle && n.data->online)
                ++p->onlineCount;
            else if (isOrganisation(n.kind))
                p->onlineCount += n.data->onlineCount;
        });
    for (TRNode* n : dirtyNodes)
        n->dirty = false;
    dirtyNodes.clear();
}

// The organisations' counts follow the vehicles whose flag moved since the last refresh, exactly
// as a count from scratch would come out; `changed` receives every node whose text or image
// may differ now.
void VehicleTree::applyStateChanges(std::vector<TRNode*>& changed) {
    changed = std::move(dirtyNodes);
    dirtyNodes.clear();
    const size_t marked = changed.size();
    for (size_t i = 0; i < marked; ++i) {
        TRNode& v = *changed[i];
        if (v.kind != kVehicle || v.data->online == v.countedOnline) continue;
        v.countedOnline = v.data->online;
        const uint32_t delta = v.countedOnline ? 1u : ~0u; // +1 or -1, wrapping
        // An online vehicle counts for its parent; an organisation passes its count upwards.
        for (TRNode* p = v.parent; p->data; p = p->parent) {
            p->data->onlineCount += delta;
            if (!p->dirty) {
                p->dirty = true;
                changed.push_back(p);
            }
            if (!isOrganisation(p->kind)) break;
        }
    }
    for (TRNode* n : changed)
        n->dirty = false;
}

void VehicleTree::show() {
    preOrder(root, [this](TRNode& n) {
        if (!n.data) return;
        const bool shown = n.kind == kVehicle || n.kind == kTerminal || n.kind == kChannel ||
                           (isOrganisation(n.kind) && n.data->total > 0);
        if (!shown) return;
        const int image = viewImage(n);
        if (n.viewNode) {
            view->updateNode(n.viewNode, image);
            return;
        }
        const ViewNodeId parent = n.parent->viewNode;
        n.viewNode = view->addNode(parent, n, n.kind, image);
        if (parent == 0 && topLevelCount++ == 0) firstTopLevel = &n;
    });
    viewComplete = true;
}

void VehicleTree::refreshTree(bool full) {
    if (!view) return;
    view->beginRefresh(full);
    if (full) restart();
    std::vector<TRNode*> changed;
    applyStateChanges(changed);
    if (!viewComplete) {
        show();
    } else {
        for (TRNode* n : changed)
            if (n->viewNode) view->updateNode(n->viewNode, viewImage(*n));
    }
    for (TRNode* n : expandedNodes)
        if (n->viewNode) view->sortChildren(n->viewNode, false);
    if (full) {
        view->sortAll(true);
        view->collapseAll();
        for (TRNode* n : expandedNodes)
            n->expanded = false;
        expandedNodes.clear();
        if (topLevelCount == 1) {
            setExpanded(*firstTopLevel, true);
            view->expand(firstTopLevel->viewNode);
        }
    }
    view->endRefresh();
}

void VehicleTree::markDirty(TRNode& n) {
    if (n.dirty) return;
    n.dirty = true;
    dirtyNodes.push_back(&n);
}

void VehicleTree::markLive(TRNode& n) {
    if (n.live) return;
    n.live = true;
    liveTerminals.push_back(&n);
}

void VehicleTree::setOnline(TRNode& n, bool online) {
    if (n.data->online == online) return;
    n.data->online = online;
    markDirty(n);
}

void VehicleTree::recomputeParent(TRNode& n) {
    TRNode& p = *n.parent;
    if (!p.data) return;
    bool any = false;
    for (const TRNode* c = p.firstChild; c && !any; c = c->nextSibling)
        any = c->data->online;
    setOnline(p, any);
}

void VehicleTree::setTerminalState(const std::string& sim, bool online, util::DateTime onlineTime,
                                   bool gpsAcc, util::DateTime gpsAccTime) {
    for (const SimIndex::Entry& e : simIndex.find(sim)) {
        CarTreeNode& r = *e.node->data;
        setOnline(*e.node, online);
        r.onlineTime = onlineTime;
        r.gpsAcc = gpsAcc;
        r.gpsAccTime = gpsAccTime;
        if (online || gpsAcc) markLive(*e.node);
        recomputeParent(*e.node);
    }
}

void VehicleTree::markOffline(const media::SIMCH& simch) {
    for (const SimIndex::Entry& e : simIndex.find(simch.sim)) {
        setOnline(*e.node, false);
        recomputeParent(*e.node);
    }
}

void VehicleTree::expireStates(util::DateTime now) {
    const util::DateTime limit = now - kStateLifetime;
    for (size_t i = 0; i < liveTerminals.size();) {
        TRNode& t = *liveTerminals[i];
        CarTreeNode& r = *t.data;
        if (r.gpsAcc && r.gpsAccTime < limit) r.gpsAcc = false;
        if (r.online && r.onlineTime < limit) setOnline(t, false);
        recomputeParent(t);
        if (r.online || r.gpsAcc) {
            ++i;
            continue;
        }
        // Off for good until a state report: nothing left to expire.
        t.live = false;
        liveTerminals[i] = liveTerminals.back();
        liveTerminals.pop_back();
    }
}

const TRNode* VehicleTree::firstTerminal(const media::SIMCH& simch) const {
    const auto found = simIndex.find(simch.sim);
    return found.empty() ? nullptr : found.front().node;
}

TerminalInfo VehicleTree::terminalInfo(const media::SIMCH& simch) const {
    TerminalInfo info;
    const TRNode* t = firstTerminal(simch);
    if (!t || !t->data || !t->parent->data) return info;
    info.online = t->data->online;
    info.gpsAcc = t->data->gpsAcc;
    info.vehicleName = t->parent->data->name;
    for (const TRNode* c = t->firstChild; c; c = c->nextSibling)
        info.channels.push_back(c->data->name);
    return info;
}

bool VehicleTree::terminalState(const media::SIMCH& simch, TerminalState& out) const {
    out = {};
    const TRNode* t = firstTerminal(simch);
    if (!t) return false;
    out = {t->data->online, t->data->onlineTime, t->data->gpsAcc, t->data->gpsAccTime};
    return out.online;
}

bool VehicleTree::isTerminalOnline(const media::SIMCH& simch) const {
    const TRNode* t = firstTerminal(simch);
    return t && t->data->online;
}

std::string VehicleTree::terminalTitle(const media::SIMCH& simch) const {
    const TRNode* t = firstTerminal(simch);
    return t ? t->data->title : std::string();
}

void VehicleTree::setExpanded(TRNode& n, bool expanded) {
    if (n.expanded == expanded) return;
    n.expanded = expanded;
    if (expanded)
        expandedNodes.push_back(&n);
    else
        std::erase(expandedNodes, &n);
}

void VehicleTree::nodeExpanded(TRNode& n) {
    if (view && n.viewNode) view->sortChildren(n.viewNode, false);
    setExpanded(n, true);
}

void VehicleTree::nodeCollapsed(TRNode& n) {
    setExpanded(n, false);
}

int VehicleTree::compare(const TRNode* a, const TRNode* b, bool full) {
    if (!a || !b || !a->data || !b->data) return 0;
    if (a->kind != b->kind) return a->kind < b->kind ? -1 : 1;
    if (a->kind != kVehicle) {
        if (!full || a->data->order == b->data->order) return 0;
        return a->data->order < b->data->order ? -1 : 1;
    }
    if (a->data->online != b->data->online) return a->data->online ? -1 : 1;
    const int c = a->data->name.compare(b->data->name);
    if (c != 0) return c < 0 ? -1 : 1;
    return 1; // equal names: a after b
}

std::string VehicleTree::viewText(const TRNode& n) {
    if (!n.data) return {};
    if (!isOrganisation(n.kind)) return n.data->name;
    return n.data->name + "(" + std::to_string(n.data->onlineCount) + "/" +
           std::to_string(n.data->total) + ")";
}

int VehicleTree::viewImage(const TRNode& n) {
    // Only vehicles and terminals look at their record.
    const auto online = [&] { return n.data && n.data->online; };
    switch (n.kind) {
    case kFleet:
        return 1;
    case kVehicle:
        return online() ? 2 : 3;
    case kTerminal:
        return online() ? 6 : 7;
    case kChannel:
        return 5;
    default:
        return 0;
    }
}

size_t VehicleTree::memoryBytes() const {
    return nodes.capacity() * sizeof(TRNode) + simIndex.memoryBytes() +
           (dirtyNodes.capacity() + expandedNodes.capacity() + liveTerminals.capacity()) *
               sizeof(TRNode*);
}

} // namespace api
