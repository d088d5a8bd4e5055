// The vehicle tree over any list the platform or a cache can bring: parent chains of any depth,
// loops, repeated SIMs. Building, refreshing, state changes and expiry never read out of range
// or recurse without end, and what a partial refresh shows equals a tree counted from scratch.
// The first byte picks a vehicle list reply or a cache value, the rest is the input.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "api/HttpPostDataCont.h"
#include "api/HttpTransport.h"
#include "api/TextTreeView.h"
#include "api/VehicleTree.h"
#include "util/Clock.h"

namespace {

class NoTransport : public api::HttpTransport {
public:
    api::HttpResult post(const std::string&, const std::string&,
                         const std::atomic<bool>&) override {
        return {};
    }
};

using Shown = std::vector<std::tuple<uint8_t, std::string, int>>;

Shown shown(const api::TextTreeView& view) {
    Shown out;
    view.nodes().walk([&](api::ViewNodeId id, size_t) {
        const auto& n = view.nodes()[id];
        out.emplace_back(n.stateIndex, api::VehicleTree::viewText(*n.data), n.image);
    });
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const util::FakeClock clock(0, 0.0); // a cache of time 0 to 2 is recent
    static const auto transport = std::make_shared<NoTransport>();
    api::TextTreeView view;
    api::HttpPostDataCont client(transport, clock);
    client.setTreeView(&view);
    if (data[0] & 1)
        client.loadVehicleCache(input);
    else
        client.completeRequest({}, api::HttpPostDataCont::kVehicleTree, input, true, {});
    client.refreshTree(true);

    // States from the input's bytes, for the first SIMs of the index.
    const auto entries = client.tree.simIndex.all();
    const size_t count = std::min<size_t>(entries.size(), 64);
    std::vector<std::string> sims;
    for (size_t i = 0; i < count; ++i)
        sims.emplace_back(entries[i].sim);
    for (size_t i = 0; i < sims.size(); ++i) {
        const uint8_t b = data[(i + 1) % size];
        if (b & 4)
            client.markOffline({sims[i], 0});
        else
            client.setTerminalState(sims[i], b & 1, (b & 2) ? -1.0 : 0.0, b & 8, 0);
        if (b & 16) client.expireStates();
    }
    if (view.nodes().size() > 0) client.tree.nodeExpanded(*view.nodes()[1].data);
    client.refreshTree(false);

    api::CarTreeMap copy = client.vehicles;
    api::VehicleTree fresh(copy);
    api::TextTreeView freshView;
    fresh.setTreeView(&freshView);
    fresh.refreshTree(true);
    if (shown(view) != shown(freshView)) std::abort();
    for (auto& [id, r] : client.vehicles)
        if (!r.treeNode || r.treeNode->data != &r) std::abort();
    client.setTreeView(nullptr);
    return 0;
}
