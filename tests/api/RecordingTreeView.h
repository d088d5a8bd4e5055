#pragma once

#include <string>
#include <vector>

#include "api/TextTreeView.h"
#include "api/VehicleTree.h"
#include "util/GbkText.h"

namespace apitest {

// A text view that also writes down every call the tree makes of it, nodes named by their
// text (UTF-8).
class RecordingTreeView : public api::TextTreeView {
public:
    void beginRefresh(bool full) override { calls.push_back(full ? "begin full" : "begin"); }
    void endRefresh() override { calls.push_back("end"); }
    void clearNodes() override {
        calls.push_back("clear");
        TextTreeView::clearNodes();
    }
    api::ViewNodeId addNode(api::ViewNodeId parent, api::TRNode& node, uint8_t stateIndex,
                            int image) override {
        calls.push_back("add " + text(node));
        return TextTreeView::addNode(parent, node, stateIndex, image);
    }
    void updateNode(api::ViewNodeId id, int image) override {
        calls.push_back("update " + nameOf(id) + " image=" + std::to_string(image));
        TextTreeView::updateNode(id, image);
    }
    void sortChildren(api::ViewNodeId parent, bool full) override {
        calls.push_back(std::string(full ? "sort full " : "sort ") + nameOf(parent));
        TextTreeView::sortChildren(parent, full);
    }
    void sortAll(bool full) override {
        calls.push_back(full ? "sortAll full" : "sortAll");
        TextTreeView::sortAll(full);
    }
    void collapseAll() override {
        calls.push_back("collapseAll");
        TextTreeView::collapseAll();
    }
    void expand(api::ViewNodeId id) override {
        calls.push_back("expand " + nameOf(id));
        TextTreeView::expand(id);
    }

    // The calls whose text starts with `prefix`.
    std::vector<std::string> only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    std::vector<std::string> calls;

private:
    static std::string text(const api::TRNode& n) {
        return util::gbkToUtf8(api::VehicleTree::viewText(n));
    }
    std::string nameOf(api::ViewNodeId id) const {
        return nodes().valid(id) ? text(*nodes()[id].data) : "top";
    }
};

} // namespace apitest
