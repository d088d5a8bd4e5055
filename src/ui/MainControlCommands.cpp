// The main controller's window commands: the vehicle tree (selection, double click, status
// synchronisation, vehicle data) and the view's layout and paging buttons.

#include <set>

#include "ui/MainControl.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace ui {

namespace {

const std::string& nameOf(const api::TRNode* node) {
    static const std::string none;
    return node != nullptr && node->data != nullptr ? node->data->name : none;
}

} // namespace

void MainControl::CarTree_objClick(const api::TRNode* node) {
    const uint8_t kind = node != nullptr && node->data != nullptr ? node->kind : 0;
    if (kind == api::kVehicle) {
        window.findText = selectedVehicle = nameOf(node);
        selectedKey = {nameOf(node->firstChild), 0};
    } else if (kind == api::kTerminal && node->parent != nullptr && node->parent->data != nullptr) {
        window.findText = selectedVehicle = nameOf(node->parent);
        selectedKey = {nameOf(node), 0};
    } else if (kind == api::kChannel && node->parent != nullptr && node->parent->data != nullptr &&
               node->parent->parent != nullptr && node->parent->parent->data != nullptr) {
        window.findText = selectedVehicle = nameOf(node->parent->parent);
        selectedKey = {nameOf(node->parent), media::channelFromLabel(nameOf(node))};
    } else {
        window.findText.clear();
        selectedVehicle.clear();
        selectedKey = {};
    }
    window.devName = selectedKey.sim.empty() ? std::string() : web.terminalTitle(selectedKey);
}

void MainControl::CarTree_objDblClick(const api::TRNode* node) {
    if (mode != kLive || node == nullptr || node->data == nullptr) return;
    if (node->kind == api::kCompany || node->kind == api::kFleet) return;
    // A double click on an open vehicle or terminal only folds it.
    if ((node->kind == api::kVehicle || node->kind == api::kTerminal) && node->expanded) return;
    TB_playallClick(node);
}

void MainControl::BT_carSYNClick() {
    if (clock.now() - web.vehicleDataTime < kTreeRequestDays) return;
    window.carSynCaption = "车辆资料更新中..."_gbk;
    web.requestVehicleTree();
}

void MainControl::collectTerminals(const api::TRNode& from, std::set<std::string>& sims) const {
    // Iterative: a tree may be deep, and nothing here needs the call stack.
    std::vector<const api::TRNode*> stack{&from};
    while (!stack.empty()) {
        const api::TRNode* n = stack.back();
        stack.pop_back();
        if (n->kind == api::kTerminal && n->data != nullptr) {
            sims.insert(n->data->name);
            continue;
        }
        if (n != &web.tree.root && n->kind >= api::kTerminal) continue;
        for (const api::TRNode* c = n->firstChild; c != nullptr; c = c->nextSibling)
            stack.push_back(c);
    }
}

void MainControl::BT_carAccFlushClick() {
    if (syncCounter <= 14 || !vehicleDataLoaded()) return;
    syncCounter = 0;
    std::set<std::string> sims;
    collectTerminals(web.tree.root, sims);
    if (sims.empty()) return;
    window.accFlushCaption = "状态同步中..."_gbk;
    web.queryState(sims);
}

void MainControl::TB_viewClick() {
    // Leaving playback comes with playback itself; in live mode this only shows the buttons.
    window.viewDown = true;
    window.stopAllVisible = true;
    window.playAllVisible = true;
}

void MainControl::TB_cartreeClick() {
    window.carPanelVisible = !window.carPanelVisible;
    if (window.carPanelVisible && vehicleDataLoaded()) web.refreshTree(false);
}

void MainControl::layoutNow(uint8_t newMode) {
    uint16_t h = 0, w = 0;
    if (surfaceSize) surfaceSize(h, w);
    view.Layout(h, w, newMode);
}

void MainControl::LayoutClick(uint8_t newMode) {
    layoutNow(newMode);
}

void MainControl::PageClick(bool forward) {
    view.PageStep(forward);
}

void MainControl::CellClick(bool forward) {
    view.CellStep(forward);
}

} // namespace ui
