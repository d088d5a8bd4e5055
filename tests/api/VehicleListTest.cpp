#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeTransport.h"
#include "RecordingTreeView.h"
#include "api/HttpPostDataCont.h"
#include "api/VehicleList.h"
#include "settings/ConfSet.h"
#include "util/Clock.h"
#include "util/DateTime.h"
#include "util/GbkText.h"

namespace fs = std::filesystem;
using api::CarTreeMap;
using api::CJvalue;
using util::utf8ToGbk;

namespace {

const std::string kSimA = media::padSim("13912345678");
const std::string kSimB = media::padSim("13900000002");

// Organisations on two levels, a vehicle with two SIMs and a trailing ";", a channel under the
// first terminal and one with a channel number beyond the labels, an unknown kind.
const char* kList = R"([
    {"id":"o1","pId":"","dept":1,"name":"公司"},
    {"id":"o2","pId":"o1","dept":2,"name":"车队"},
    {"id":"v1","pId":"o2","dept":3,"name":"粤A1","isOnline":1,"sjhm":"13912345678;13900000002;"},
    {"id":"c1","pId":"v1","dept":4,"name":"前门 有为","sptd":1,"sjhm":"13912345678"},
    {"id":"c2","pId":"v1","dept":4,"name":"后门","sptd":40,"sjhm":"13912345678"},
    {"id":"x","pId":"o1","dept":6,"name":"?"},
    {"id":"o1","pId":"","dept":1,"name":"again"}])";

CJvalue parsed(const std::string& text) {
    CJvalue v;
    EXPECT_TRUE(v.parse(utf8ToGbk(text)));
    return v;
}

TEST(VehicleList, RecordsOfEveryKind) {
    CarTreeMap m;
    ASSERT_TRUE(api::readVehicleList(parsed(kList), m));
    struct Want {
        std::string id, pId, name, title;
        uint8_t kind;
        bool online;
        uint32_t order;
    };
    const std::vector<Want> want = {
        {"c1", "v1" + kSimA, "CH1 ", utf8ToGbk("前门 有为"), 5, false, 3},
        {"c2", "v1" + kSimA, "", utf8ToGbk("后门"), 5, false, 4},
        {"o1", "", utf8ToGbk("公司"), "", 1, false, 0}, // the first of a repeated id stays
        {"o2", "o1", utf8ToGbk("车队"), "", 2, false, 1},
        {"v1", "o2", utf8ToGbk("粤A1"), "", 3, true, 2},
        {"v1" + std::string(20, '0'), "v1", std::string(20, '0'), "", 4, true, 2},
        {"v1" + kSimB, "v1", kSimB, "", 4, true, 2},
        {"v1" + kSimA, "v1", kSimA, "", 4, true, 2},
    };
    ASSERT_EQ(m.size(), want.size());
    for (const Want& w : want) {
        SCOPED_TRACE(w.id);
        ASSERT_EQ(m.count(w.id), 1u);
        const api::CarTreeNode& r = m.at(w.id);
        EXPECT_EQ(r.id, w.id);
        EXPECT_EQ(r.pId, w.pId);
        EXPECT_EQ(r.name, w.name);
        EXPECT_EQ(r.title, w.title);
        EXPECT_EQ(r.kind, w.kind);
        EXPECT_EQ(r.online, w.online);
        EXPECT_EQ(r.order, w.order);
    }
}

TEST(VehicleList, MissingElementOrMemberFails) {
    for (const char* bad : {
             R"([{"pId":"","dept":1,"name":"n"}])",
             R"([{"id":"a","dept":1,"name":"n"}])",
             R"([{"id":"a","pId":"","name":"n"}])",
             R"([{"id":"a","pId":"","dept":2}])",
             R"([{"id":"v","pId":"","dept":3,"name":"n","sjhm":"1"}])",
             R"([{"id":"v","pId":"","dept":3,"name":"n","isOnline":1}])",
             R"([{"id":"c","pId":"v","dept":4,"name":"n","sjhm":"1"}])",
             R"([{"id":"c","pId":"v","dept":4,"name":"n","sptd":1}])",
             R"({"a":{"id":"a","pId":"","dept":1,"name":"n"}})",
         }) {
        CarTreeMap m;
        EXPECT_FALSE(api::readVehicleList(parsed(bad), m)) << bad;
    }
}

class Cache : public ::testing::Test {
protected:
    Cache() : clock(0, util::encodeDateTime(2026, 5, 1, 12, 0, 0)) {
        dir = fs::temp_directory_path() /
              ("apicache-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        store.Setup(dir.string() + "/", "Zorvu");
        client = std::make_unique<api::HttpPostDataCont>(fake, clock);
        client->settings = &store;
        client->userName = "demo";
        client->loggedIn = true;
        client->OnResult = [this](int opid, bool r, const std::string& s, const media::SIMCH&) {
            results.push_back({opid, r, util::gbkToUtf8(s)});
        };
    }
    ~Cache() override { fs::remove_all(dir); }

    bool fetch(const std::string& obj) {
        fake->answer(200, R"({"code":0,"msg":"","obj":)" + obj + "}");
        client->requestVehicleTree();
        EXPECT_TRUE(apitest::drain(*client));
        return !results.empty() && results.back().result;
    }

    struct Result {
        int opid;
        bool result;
        std::string status;
    };
    std::shared_ptr<apitest::FakeTransport> fake = std::make_shared<apitest::FakeTransport>();
    util::FakeClock clock;
    fs::path dir;
    settings::ConfSet store;
    std::unique_ptr<api::HttpPostDataCont> client;
    std::vector<Result> results;
};

TEST_F(Cache, ReplyWritesTheCacheAndTheNextStartLoadsIt) {
    ASSERT_TRUE(fetch(kList));
    EXPECT_EQ(results.back().status, "获取车辆资料完成");
    EXPECT_EQ(client->vehicleDataTime, clock.now());
    const CarTreeMap fetched = client->vehicles;

    settings::ConfSet reread;
    reread.Setup(dir.string() + "/", "Zorvu");
    ASSERT_TRUE(reread.Load()) << reread.Message;
    std::string value;
    ASSERT_TRUE(reread.GetStr(utf8ToGbk("车辆资料"), value));

    clock.advanceMs(47 * 3600 * 1000);
    api::HttpPostDataCont next(fake, clock);
    next.userName = "demo";
    int loaded = 0;
    next.OnResult = [&](int opid, bool r, const std::string& s, const media::SIMCH& k) {
        loaded += opid == 1 && r && util::gbkToUtf8(s) == "加载车辆资料成功" && k == media::SIMCH{};
    };
    ASSERT_TRUE(next.loadVehicleCache(value));
    EXPECT_EQ(loaded, 1);
    ASSERT_EQ(next.vehicles.size(), fetched.size());
    for (const auto& [id, r] : fetched) {
        const api::CarTreeNode& c = next.vehicles.at(id);
        EXPECT_EQ(std::tie(c.id, c.pId, c.order, c.name, c.title, c.kind, c.online),
                  std::tie(r.id, r.pId, r.order, r.name, r.title, r.kind, r.online));
    }
    EXPECT_EQ(next.vehicleDataTime, client->vehicleDataTime);
}

TEST_F(Cache, Refusals) {
    CarTreeMap m;
    ASSERT_TRUE(api::readVehicleList(parsed(kList), m));
    const util::DateTime now = clock.now();
    const std::string good = api::writeVehicleCache("demo", now - 1, m);
    CarTreeMap out = {{"keep", {}}};
    util::DateTime fetched = 5;
    const auto read = [&](std::string_view value, const char* user, util::DateTime at) {
        return api::readVehicleCache(value, user, at, out, fetched);
    };
    EXPECT_EQ(read(good, "other", now), api::CacheRead::otherUser);
    EXPECT_EQ(read(api::writeVehicleCache("demo", now - 2 - 60.0 / 86400, m), "demo", now),
              api::CacheRead::tooOld);
    EXPECT_EQ(read(api::writeVehicleCache("demo", NAN, m), "demo", now), api::CacheRead::tooOld);
    // Cut anywhere inside, the value is refused and nothing is replaced.
    for (size_t n = 0; n < good.size(); ++n)
        ASSERT_EQ(read(std::string_view(good).substr(0, n), "demo", now), api::CacheRead::cutShort)
            << n;
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(fetched, 5);
    EXPECT_EQ(read(good, "demo", now), api::CacheRead::ok);
    EXPECT_EQ(out.size(), m.size());
    EXPECT_EQ(fetched, now - 1);
}

TEST_F(Cache, FaultyListKeepsTheRecordsAndTheCache) {
    ASSERT_TRUE(fetch(kList));
    const size_t count = client->vehicles.size();
    const std::string cached = store.Find(utf8ToGbk("车辆资料"))->value;
    EXPECT_FALSE(
        fetch(R"([{"id":"o9","pId":"","dept":1,"name":"n"},{"pId":"","dept":1,"name":"n"}])"));
    EXPECT_EQ(results.back().status, "车辆资料数据错误");
    EXPECT_EQ(client->vehicles.size(), count);
    EXPECT_EQ(store.Find(utf8ToGbk("车辆资料"))->value, cached);

    fake->answer(200, R"({"code":0,"msg":""})");
    client->requestVehicleTree();
    ASSERT_TRUE(apitest::drain(*client));
    EXPECT_EQ(results.back().status, "无车辆数据");
    EXPECT_EQ(client->vehicles.size(), count);
}

TEST_F(Cache, LargeListInATextParameterIsKeptWhole) {
    // A text parameter holds 65535 bytes; a fleet beyond that must still load next time.
    settings::ConfVal def;
    def.name = utf8ToGbk("车辆资料");
    def.type = settings::kConfText;
    store.params.emplace(def.name, def);
    std::string list = "[";
    for (int i = 0; i < 3000; ++i)
        list += (i ? "," : "") + std::string(R"({"id":"v)") + std::to_string(i) +
                R"(","pId":"","dept":3,"name":"n","isOnline":0,"sjhm":")" +
                std::to_string(13900000000LL + i) + R"("})";
    ASSERT_TRUE(fetch(list + "]"));
    std::string value;
    ASSERT_TRUE(store.GetStr(utf8ToGbk("车辆资料"), value));
    EXPECT_GT(value.size(), 65535u);
    api::HttpPostDataCont next(fake, clock);
    next.userName = "demo";
    EXPECT_TRUE(next.loadVehicleCache(value));
    EXPECT_EQ(next.vehicles.size(), 6000u);
}

// Whatever replaces the records, no node is left pointing at one that is gone: a good reply or a
// cache empties the view and brings a new tree, a faulty reply leaves records and tree alone.
TEST_F(Cache, TheTreeFollowsTheRecords) {
    apitest::RecordingTreeView view;
    client->setTreeView(&view);
    const auto linked = [&] {
        for (auto& [id, r] : client->vehicles)
            if (!r.treeNode || r.treeNode->data != &r) return false;
        return client->tree.nodeCount() == client->vehicles.size();
    };
    ASSERT_TRUE(fetch(kList));
    client->refreshTree(true);
    const std::string shown = view.render();
    ASSERT_NE(shown.find("CH1 "), std::string::npos);
    std::string cached;
    ASSERT_TRUE(store.GetStr(utf8ToGbk("车辆资料"), cached));

    EXPECT_FALSE(fetch(R"([{"id":"o9","pId":"","dept":1,"name":"n"},{"pId":"","dept":1}])"));
    EXPECT_TRUE(linked());
    client->refreshTree(false);
    EXPECT_EQ(view.render(), shown);

    ASSERT_TRUE(fetch(R"([{"id":"v7","pId":"","dept":3,"name":"车","isOnline":1,"sjhm":"7"}])"));
    EXPECT_EQ(view.nodes().size(), 0u);
    EXPECT_TRUE(linked());
    client->refreshTree(false);
    EXPECT_EQ(view.render(), "车\tkind=3 image=2\n  00000000000000000007\tkind=4 image=6\n");

    ASSERT_TRUE(client->loadVehicleCache(cached));
    EXPECT_EQ(view.nodes().size(), 0u);
    EXPECT_TRUE(linked());
    EXPECT_TRUE(client->isTerminalOnline({kSimB, 0}));
    client->refreshTree(true);
    EXPECT_EQ(view.render(), shown);
    client->setTreeView(nullptr);
}

} // namespace
