// The vehicle tree of a 100,000-vehicle fleet (about 500,000 nodes) on the user-interface
// thread: records to a shown tree (full refresh, model reset, the QTreeView laid out and
// painted offscreen), the 5-second partial refresh with a fleet of 1,000 vehicles open, and
// 10,000 terminal states followed by a partial refresh. The baseline, in the same run, is the
// same tree built as QStandardItemModel items, sorted alike and shown in the same view.
// The end prints the goals, the ratios and the memory per vehicle.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QStandardItemModel>
#include <QTreeView>
#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/CJvalue.h"
#include "api/VehicleList.h"
#include "api/VehicleTree.h"
#include "api/gui/QtVehicleTreeView.h"
#include "api/gui/TreeImages.h"
#include "api/gui/VehicleTreeModel.h"
#include "media/SIMCH.h"
#include "util/GbkText.h"

namespace {

constexpr int kVehicles = 100'000;
constexpr int kFleets = 100; // of 1,000 vehicles, under one company

size_t heapBytes() {
    return mallinfo2().uordblks;
}

// One company, 100 fleets; each vehicle has 1 to 3 SIMs and its first terminal 1 to 4 channels.
std::string reply() {
    std::mt19937 random(1078);
    const char* provinces[] = {"粤", "川", "鄂", "苏", "豫", "鲁", "湘", "闽", "浙", "沪"};
    std::string text = R"({"code":0,"msg":"成功","obj":[)";
    text += R"({"id":"c","pId":"","dept":1,"name":"运输集团"},)";
    for (int f = 0; f < kFleets; ++f)
        text += R"({"id":"f)" + std::to_string(f) + R"(","pId":"c","dept":2,"name":"第)" +
                std::to_string(f + 1) + R"(车队"},)";
    for (int v = 0; v < kVehicles; ++v) {
        const std::string id = std::to_string(500000 + v);
        const std::string sim = std::to_string(13900000000LL + v);
        std::string sims = sim;
        const unsigned more = random() % 6; // a second SIM for one in three, a third for one in six
        if (more >= 4) sims += ";" + std::to_string(15900000000LL + v);
        if (more == 5) sims += ";" + std::to_string(17900000000LL + v);
        text += R"({"id":")" + id + R"(","pId":"f)" + std::to_string(v % kFleets) +
                R"(","dept":3,"name":")" + provinces[random() % 10] + "B" +
                std::to_string(10000 + random() % 90000) + R"(","isOnline":)" +
                std::to_string(random() % 3 == 0) + R"(,"sjhm":")" + sims + R"("},)";
        const unsigned channels = 1 + random() % 4;
        for (unsigned ch = 1; ch <= channels; ++ch)
            text += R"({"id":"ch)" + id + "_" + std::to_string(ch) + R"(","pId":")" + id +
                    R"(","dept":4,"name":")" + (ch == 1 ? "前门 有为" : "车厢") + R"(","sptd":)" +
                    std::to_string(ch) + R"(,"sjhm":")" + sim + R"("},)";
    }
    text.back() = ']';
    return text + "}";
}

struct Fleet {
    api::CarTreeMap records;
    size_t recordBytes = 0;
    std::vector<std::string> sims;
};

const Fleet& fleet() {
    static const Fleet f = [] {
        Fleet made;
        api::CJvalue v;
        v.parse(util::utf8ToGbk(reply()));
        const size_t before = heapBytes();
        api::readVehicleList(*v.find("obj"), made.records);
        made.recordBytes = heapBytes() - before;
        for (const auto& [id, r] : made.records)
            if (r.kind == api::kTerminal) made.sims.push_back(r.name);
        return made;
    }();
    return f;
}

// The client's side of it: the records, their tree, and the tree view showing it.
struct Shown {
    Shown() : tree(records) {
        view.resize(360, 900);
        qtView = std::make_unique<api::gui::QtVehicleTreeView>(tree, view);
    }
    ~Shown() { qtView.reset(); }
    api::CarTreeMap records;
    api::VehicleTree tree;
    QTreeView view;
    std::unique_ptr<api::gui::QtVehicleTreeView> qtView;
};

std::map<std::string, double> memory; // bytes per vehicle

void BM_FullPath(benchmark::State& state) {
    Shown s;
    for (auto _ : state) {
        state.PauseTiming();
        api::CarTreeMap copy = fleet().records;
        state.ResumeTiming();
        s.tree.replaceRecords(std::move(copy));
        s.tree.refreshTree(true);
        benchmark::DoNotOptimize(s.view.grab());
    }
    state.counters["nodes"] = static_cast<double>(s.tree.nodeCount());
    state.counters["shown"] = static_cast<double>(s.qtView->model().nodes().size());
}

void BM_FullRefresh(benchmark::State& state) {
    Shown s;
    s.tree.replaceRecords(api::CarTreeMap(fleet().records));
    for (auto _ : state)
        s.tree.refreshTree(true);
    memory["tree and SIM index"] = static_cast<double>(s.tree.memoryBytes()) / kVehicles;
    memory["view rows"] = static_cast<double>(s.qtView->model().nodes().memoryBytes()) / kVehicles;
}

// A Shown tree after a full refresh with the first fleet open in the view.
Shown& openFleet() {
    static Shown* s = [] {
        auto* made = new Shown;
        made->tree.replaceRecords(api::CarTreeMap(fleet().records));
        made->tree.refreshTree(true);
        made->view.expand(made->qtView->model().indexOf(made->records.at("f0").treeNode->viewNode));
        made->view.grab();
        return made;
    }();
    return *s;
}

void BM_PartialRefresh(benchmark::State& state) {
    Shown& s = openFleet();
    for (auto _ : state)
        s.tree.refreshTree(false);
    state.counters["open rows"] = s.qtView->model().rowCount(
        s.qtView->model().indexOf(s.records.at("f0").treeNode->viewNode));
}

// 10,000 terminals spread over the fleet, the open fleet among them, change state each round;
// what is timed: the state changes, the partial refresh after them, or both and a repaint.
enum class Timed { states, refresh, statesRefreshPaint };

void statesAndRefresh(benchmark::State& state, Timed timed) {
    Shown& s = openFleet();
    const std::vector<std::string>& sims = fleet().sims;
    const size_t step = sims.size() / 10000;
    bool on = true;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (size_t i = 0; i < 10000; ++i)
            s.tree.setTerminalState(sims[i * step], on == (i % 2 == 0), 46000, on, 46000);
        const auto set = Clock::now();
        s.tree.refreshTree(false);
        if (timed == Timed::statesRefreshPaint) {
            QCoreApplication::processEvents();
            benchmark::DoNotOptimize(s.view.grab());
        }
        const auto end = Clock::now();
        const auto seconds = [](auto d) { return std::chrono::duration<double>(d).count(); };
        state.SetIterationTime(timed == Timed::states    ? seconds(set - start)
                               : timed == Timed::refresh ? seconds(end - set)
                                                         : seconds(end - start));
        on = !on;
    }
}

void BM_States10k(benchmark::State& state) {
    statesAndRefresh(state, Timed::states);
}

void BM_PartialRefreshAfter10kStates(benchmark::State& state) {
    statesAndRefresh(state, Timed::refresh);
}

void BM_States10kRefreshAndPaint(benchmark::State& state) {
    statesAndRefresh(state, Timed::statesRefreshPaint);
}

// The worst case: every terminal online with a fresh report, none to expire, all looked at.
void BM_ExpireStates(benchmark::State& state) {
    Shown& s = openFleet();
    for (const std::string& sim : fleet().sims)
        s.tree.setTerminalState(sim, true, 46000, true, 46000);
    for (auto _ : state)
        s.tree.expireStates(46000.001);
    state.counters["terminals"] = static_cast<double>(s.tree.simIndex.size());
}

// The baseline: one QStandardItem per node, texts converted when built, sorted by the same
// comparison, in the same view.
class TreeItem : public QStandardItem {
public:
    TreeItem(const api::TRNode& n)
        : QStandardItem(api::gui::TreeImages::icon(api::VehicleTree::viewImage(n)),
                        QString::fromStdString(util::gbkToUtf8(api::VehicleTree::viewText(n)))),
          node(&n) {
        setData(n.kind, Qt::UserRole);
        setEditable(false);
    }
    bool operator<(const QStandardItem& other) const override {
        return api::VehicleTree::compare(node, static_cast<const TreeItem&>(other).node, true) < 0;
    }
    const api::TRNode* node;
};

void buildItems(const api::TRNode& parent, QStandardItem& into) {
    QList<QStandardItem*> row;
    for (const api::TRNode* c = parent.firstChild; c; c = c->nextSibling) {
        if (c->kind <= api::kFleet && c->data->total == 0)
            continue; // organisations without vehicles are not shown
        auto* item = new TreeItem(*c);
        if (c->kind != api::kChannel) buildItems(*c, *item);
        row.push_back(item);
    }
    if (!row.isEmpty()) into.appendRows(row);
}

void BM_StandardItemModel(benchmark::State& state) {
    api::CarTreeMap records = fleet().records;
    api::VehicleTree tree(records);
    tree.rebuild();
    QTreeView view;
    view.resize(360, 900);
    view.setUniformRowHeights(true);
    view.setHeaderHidden(true);
    for (auto _ : state) {
        const size_t before = heapBytes();
        auto model = std::make_unique<QStandardItemModel>();
        buildItems(tree.root, *model->invisibleRootItem());
        model->sort(0);
        view.setModel(model.get());
        if (model->rowCount() == 1) view.expand(model->index(0, 0));
        benchmark::DoNotOptimize(view.grab());
        memory["QStandardItemModel items"] = static_cast<double>(heapBytes() - before) / kVehicles;
        state.PauseTiming();
        view.setModel(nullptr);
        model.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_FullPath)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FullRefresh)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PartialRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_States10k)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_PartialRefreshAfter10kStates)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_States10kRefreshAndPaint)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_ExpireStates)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardItemModel)->Unit(benchmark::kMillisecond)->Iterations(3);

class GoalReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const double scale = r.time_unit == benchmark::kMillisecond   ? 1.0
                                 : r.time_unit == benchmark::kMicrosecond ? 1e-3
                                                                          : 1e-6;
            ms[r.benchmark_name()] = r.GetAdjustedRealTime() * scale;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // By name, arguments such as "/iterations:3" aside.
        const auto at = [&](const std::string& bench) {
            for (const auto& [name, v] : ms)
                if (name == bench || name.rfind(bench + "/", 0) == 0) return v;
            return 0.0;
        };
        const double path = at("BM_FullPath"), full = at("BM_FullRefresh"),
                     partial = at("BM_PartialRefresh"),
                     after = at("BM_PartialRefreshAfter10kStates"), states = at("BM_States10k"),
                     expire = at("BM_ExpireStates"), items = at("BM_StandardItemModel");
        std::cout << "fleet: " << kVehicles << " vehicles, " << fleet().records.size()
                  << " records\n";
        std::cout << "full path " << path << " ms (goal 2000), full refresh " << full
                  << " ms (goal 1000), partial refresh " << partial << " ms (goal 10), after "
                  << "10,000 states " << after << " ms; the states " << states << " ms; expiry "
                  << expire << " ms\n";
        if (path > 0) std::cout << "QStandardItemModel / full path: " << items / path << "\n";
        std::cout << "memory per vehicle: records "
                  << static_cast<double>(fleet().recordBytes) / kVehicles << " B";
        for (const auto& [what, bytes] : memory)
            std::cout << ", " << what << " " << bytes << " B";
        std::cout << "\n";
    }

private:
    std::map<std::string, double> ms;
};

} // namespace

int main(int argc, char** argv) {
    // A benchmark of painting without a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
