#include "net/WS_AVPBList.h"

#include <gtest/gtest.h>

#include <vector>

#include "FakeTcpClient.h"
#include "settings/ConfSet.h"
#include "util/BEPack.h"
#include "util/GbkText.h"

using namespace util::literals;
using net::WS_AVPBList;
using tavrina_test::FakeTcpClient;

namespace {

std::string textFrame(const std::string& payload) {
    util::BEPack f;
    f.u8(0x81);
    if (payload.size() > 125)
        f.u8(126).u16(static_cast<uint16_t>(payload.size()));
    else
        f.u8(static_cast<uint8_t>(payload.size()));
    return f.raw(payload).take();
}

class ListenerTest : public ::testing::Test {
protected:
    ListenerTest() : clock(0, 46000.5), listener([this] { return makeSocket(); }, clock, log) {
        listener.host = "push.example";
        listener.port = 8081;
        listener.path = "/qorl/zdwebsocket/";
        listener.key = {"00000000013912345678", 1};
        listener.OnListResult = [this](const std::string& key, bool ok) {
            results.emplace_back(key, ok);
        };
    }

    std::unique_ptr<net::TcpClient> makeSocket() {
        auto s = std::make_unique<FakeTcpClient>();
        sock = s.get();
        return s;
    }

    // Listens and completes the handshake.
    void connect() {
        listener.Listen();
        sock->sent.clear();
        sock->accept();
        const std::string request = sock->sent;
        const std::string key = request.substr(request.find("Sec-WebSocket-Key: ") + 19, 24);
        sock->deliver("HTTP/1.1 101 OK\r\nSec-WebSocket-Accept: " +
                      net::TwsClientCont::AcceptFor(key) + "\r\n\r\n");
        ASSERT_TRUE(listener.connected());
    }

    std::string requestLine() const { return sock->sent.substr(0, sock->sent.find("\r\n")); }

    util::FakeClock clock;
    api::RequestLog log{clock};
    FakeTcpClient* sock = nullptr;
    WS_AVPBList listener;
    std::vector<std::pair<std::string, bool>> results;
};

const char* kThree = R"({"resourceSum":3,"avResourceList":[
 {"channel":2,"startTime":"260501080000","endTime":"260501081000","type":0,"streamType":1,"memoryType":1,"fileSize":100},
 {"channel":1,"startTime":"260501102500","endTime":"260501104000","type":3,"streamType":0,"memoryType":0,"fileSize":200},
 {"channel":1,"startTime":"260501100000","endTime":"260501102000","type":0,"streamType":1,"memoryType":1,"fileSize":300}]})";

} // namespace

TEST_F(ListenerTest, RequestPathNamesTheSimWithoutZeros) {
    struct Case {
        std::string sim;
        std::string line;
    };
    const Case cases[] = {
        {"013912345678", "GET /qorl/zdwebsocket/13912345678_1205 HTTP/1.1"},
        {"000000000001", "GET /qorl/zdwebsocket/1_1205 HTTP/1.1"},
        {"000000000000", "GET /qorl/zdwebsocket/_1205 HTTP/1.1"},
    };
    for (const Case& c : cases) {
        listener.key.sim = c.sim;
        listener.Listen();
        sock->sent.clear();
        sock->accept();
        EXPECT_EQ(requestLine(), c.line);
    }
    listener.key.sim.clear();
    const size_t opens = sock->opens.size();
    listener.Listen(); // nothing to listen for
    EXPECT_EQ(sock->opens.size(), opens);
}

TEST_F(ListenerTest, ConnectionEventsReachTheOwner) {
    connect();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], std::make_pair(std::string(), true));
    EXPECT_FALSE(listener.waiting());
    sock->peerCloses();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1], std::make_pair(std::string(), false));
}

TEST_F(ListenerTest, PushedListIsOrderedByChannelThenStart) {
    connect();
    listener.ClearList();
    sock->deliver(textFrame(kThree));
    ASSERT_EQ(results.back(), std::make_pair(listener.key.sim, true));
    std::vector<std::pair<int, std::string>> got;
    for (const api::AVResource& r : listener.recordings())
        got.emplace_back(r.key.channel, r.start);
    const std::vector<std::pair<int, std::string>> want = {
        {1, "260501100000"}, {1, "260501102500"}, {2, "260501080000"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(listener.recordings().begin()->key.sim, listener.key.sim);
    EXPECT_EQ(listener.recordings().begin()->fileSize, 300);
    EXPECT_FALSE(listener.waiting());
}

TEST_F(ListenerTest, MalformedListsGiveWhatCameBeforeTheFault) {
    struct Case {
        const char* name;
        std::string text;
        size_t records;
    };
    const Case cases[] = {
        {"second element lacks fileSize",
         R"({"resourceSum":2,"avResourceList":[{"channel":1,"startTime":"260501100000","endTime":"260501101000","type":0,"streamType":1,"memoryType":1,"fileSize":1},{"channel":1,"startTime":"260501110000","endTime":"260501111000","type":0,"streamType":1,"memoryType":1}]})",
         1},
        {"resourceSum 0", R"({"resourceSum":0,"avResourceList":[{"channel":1}]})", 0},
        {"not JSON", "<html>", 0},
        {"no list", R"({"resourceSum":4})", 0},
    };
    for (const Case& c : cases) {
        connect();
        results.clear();
        sock->deliver(textFrame(c.text));
        EXPECT_EQ(listener.recordings().size(), c.records) << c.name;
        ASSERT_EQ(results.size(), 1u) << c.name;
        EXPECT_TRUE(results[0].second) << c.name; // an empty list is still an answer
    }
}

TEST_F(ListenerTest, FindCovering) {
    connect();
    sock->deliver(textFrame(kThree));
    struct Case {
        const char* name;
        uint8_t channel;
        std::string start, end;
        bool covered;
        std::string newEnd;
        uint8_t type, stream, memory;
    };
    const Case cases[] = {
        {"inside the second record, end cut", 1, "260501103000", "260501104500", true,
         "260501104000", 0, 2, 1},
        {"end already inside", 1, "260501100500", "260501101000", true, "260501101000", 0, 1, 1},
        {"start equal to a record's end", 1, "260501102000", "260501102100", false, "", 0, 0, 0},
        {"in a gap", 1, "260501090000", "260501091000", false, "", 0, 0, 0},
        {"another channel", 3, "260501100500", "260501101000", false, "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        api::AVResource request;
        request.key = {listener.key.sim, c.channel};
        request.start = c.start;
        request.end = c.end;
        ASSERT_EQ(listener.FindCovering(request), c.covered) << c.name;
        if (!c.covered) continue;
        EXPECT_EQ(request.end, c.newEnd) << c.name;
        EXPECT_EQ(request.type, c.type) << c.name;
        EXPECT_EQ(request.streamType, c.stream) << c.name;
        EXPECT_EQ(request.memoryType, c.memory) << c.name;
    }
    listener.clearRecordings();
    api::AVResource request{{listener.key.sim, 1}, "260501103000", "260501104500"};
    EXPECT_FALSE(listener.FindCovering(request));
}

TEST_F(ListenerTest, StatusTextAndTimeOut) {
    listener.Listen();
    EXPECT_EQ(listener.StatusText(), "连接"_gbk + "000");
    clock.advanceMs(7000);
    EXPECT_EQ(listener.StatusText(), "连接"_gbk + "007");

    connect();
    listener.ClearList();
    clock.advanceMs(12000);
    EXPECT_EQ(listener.StatusText(), "查询"_gbk + "012");
    results.clear();
    for (int i = 0; i < 70; ++i) {
        clock.advanceMs(1000);
        if (i % 10 == 0) sock->deliver(std::string("\x8A\x00", 2)); // a live server's pongs
        listener.Poll();
    }
    int failures = 0;
    for (const auto& r : results)
        failures += r.first == listener.key.sim && !r.second;
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(listener.StatusText(), "");
}

TEST_F(ListenerTest, AddressComesFromTheSettingsOfThePlatformKind) {
    settings::ConfSet store;
    store.Setup(std::string(TAVRINA_BINARY_DIR) + "/bin/", "Zorvu");
    ASSERT_TRUE(store.Load()) << util::gbkToUtf8(store.Message);
    std::string message;
    struct Case {
        int projectType;
        const char* path;
    };
    for (const Case& c : {Case{0, "/qorl/zdwebsocket/"}, Case{1, "/zdReplyWebSocket/client_"}}) {
        ASSERT_TRUE(listener.SelectAddress(store, c.projectType, message));
        EXPECT_EQ(listener.path, c.path);
        EXPECT_FALSE(listener.host.empty());
        EXPECT_GT(listener.port, 0);
    }
    // Other platforms keep what they have.
    ASSERT_TRUE(listener.SelectAddress(store, 2, message));
    EXPECT_EQ(listener.path, "/zdReplyWebSocket/client_");

    // A port setting that is no TCP port is refused, not cut to 16 bits.
    for (uint32_t bad : {0u, 65536u, 65536u + 8081u}) {
        ASSERT_TRUE(store.SetInt("WS监听端口"_gbk, bad));
        listener.port = 7;
        EXPECT_FALSE(listener.SelectAddress(store, 0, message)) << bad;
        EXPECT_EQ(message, "提取[WS监听端口]参数值出错"_gbk);
        EXPECT_EQ(listener.port, 7);
    }
    ASSERT_TRUE(store.SetInt("WS监听端口"_gbk, 65535u));
    ASSERT_TRUE(listener.SelectAddress(store, 0, message));
    EXPECT_EQ(listener.port, 65535);

    settings::ConfSet empty;
    listener.path = "unchanged";
    EXPECT_FALSE(listener.SelectAddress(empty, 0, message));
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message, empty.Message);
    EXPECT_EQ(listener.path, "unchanged");
}

TEST(PushedList, NumbersFromOutsideAreTruncatedSafely) {
    // Out-of-range, infinite and fractional numbers: no undefined conversion, fixed results.
    const std::string text = R"({"resourceSum":1e30,"avResourceList":[
 {"channel":1e30,"startTime":"1","endTime":"2","type":-1e300,"streamType":1e400,"memoryType":-1.9,"fileSize":1e30},
 {"channel":257.9,"startTime":"3","endTime":"4","type":2,"streamType":-1e400,"memoryType":1,"fileSize":-1e30}]})";
    WS_AVPBList::Recordings list;
    ASSERT_TRUE(WS_AVPBList::ReadList(text, "00000000013912345678", list));
    ASSERT_EQ(list.size(), 2u);
    const api::AVResource& a = *list.begin(); // channel 1 (257 kept to a byte)
    EXPECT_EQ(a.key.channel, 1);
    EXPECT_EQ(a.start, "3");
    EXPECT_EQ(a.fileSize, INT32_MIN);
    EXPECT_EQ(a.streamType, static_cast<uint8_t>(INT64_MIN));
    const api::AVResource& b = *std::next(list.begin());
    EXPECT_EQ(b.key.channel, static_cast<uint8_t>(INT64_MAX));
    EXPECT_EQ(b.type, static_cast<uint8_t>(INT64_MIN));
    EXPECT_EQ(b.memoryType, static_cast<uint8_t>(-1));
    EXPECT_EQ(b.fileSize, INT32_MAX);

    EXPECT_FALSE(WS_AVPBList::ReadList("not json", "1", list));
    EXPECT_TRUE(list.empty());
}
