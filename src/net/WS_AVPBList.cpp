#include "net/WS_AVPBList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "api/CJvalue.h"
#include "settings/ConfSet.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace net {

WS_AVPBList::WS_AVPBList(TwebSocketClint::SocketFactory makeSocket, const util::Clock& c,
                         const api::RequestLog& requestLog)
    : clock(c), log(requestLog), client(std::move(makeSocket), c) {
    client.OnOpen = [this] {
        client.setKeepAlive();
        queryStart = 0;
        log.write("列表监听"_gbk, "连接成功"_gbk, {}, {}, {});
        tell({}, true);
    };
    client.OnClose = [this] {
        queryStart = 0;
        log.write("列表监听"_gbk, "连接断开"_gbk, {}, {}, {});
        tell({}, false);
    };
    client.OnMessage = [this](const std::string& payload, uint8_t) { onMessage(payload); };
}

bool WS_AVPBList::SelectAddress(settings::ConfSet& store, int projectType, std::string& message) {
    struct Choice {
        const std::string& hostKey;
        const std::string& portKey;
        const char* path;
    };
    if (projectType != 0 && projectType != 1) return true; // other platforms keep what they have
    const Choice choice =
        projectType == 0
            ? Choice{"WS监听IP"_gbk, "WS监听端口"_gbk, "/qorl/zdwebsocket/"}
            : Choice{"出租车WS监听IP"_gbk, "出租车WS监听端口"_gbk, "/zdReplyWebSocket/client_"};
    std::string newHost;
    uint16_t newPort = 0;
    if (!store.GetStr(choice.hostKey, newHost) || !store.GetPort(choice.portKey, newPort)) {
        message = store.Message;
        return false;
    }
    host = newHost;
    port = newPort;
    path = choice.path;
    return true;
}

void WS_AVPBList::Listen() {
    if (key.sim.empty()) return;
    Reset();
    const std::string request = path + media::stripSim(key.sim) + "_1205";
    client.Open(host, port, request);
    queryStart = clock.now();
    log.write("列表监听"_gbk, "发起连接"_gbk, {}, {}, {});
}

void WS_AVPBList::Reset() {
    client.Close();
    queryStart = 0;
}

void WS_AVPBList::ClearList() {
    list.clear();
    queryStart = clock.now();
}

void WS_AVPBList::Poll() {
    client.Poll();
    if (waiting() && clock.now() - queryStart > kTimeoutDays) {
        queryStart = 0;
        tell(key.sim, false);
    }
}

std::string WS_AVPBList::StatusText() const {
    if (!waiting()) return {};
    // Whole milliseconds first: day fractions are never exact, and 7 s must not read 006.
    const auto ms = static_cast<int64_t>((clock.now() - queryStart) * 86400000.0 + 0.5);
    const auto seconds = static_cast<int>(ms / 1000);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", seconds);
    return (connected() ? "查询"_gbk : "连接"_gbk) + digits;
}

void WS_AVPBList::tell(const std::string& keyText, bool success) {
    if (OnListResult) OnListResult(keyText, success);
}

void WS_AVPBList::onMessage(const std::string& text) {
    log.write("接收历史列表"_gbk, "SIM:" + key.sim + " CH:" + std::to_string(key.channel), {}, {},
              text);
    queryStart = 0;
    if (!OnListResult) return;
    ReadList(text, key.sim, list);
    tell(key.sim, true);
}

bool WS_AVPBList::ReadList(const std::string& text, const std::string& sim, Recordings& out) {
    out.clear();
    api::CJvalue reply;
    if (!reply.parse(text) || reply.kind() != api::kObject) return false;
    const api::CJvalue* sum = reply.find(api::CJkey("resourceSum"));
    const api::CJvalue* items = reply.find(api::CJkey("avResourceList"));
    if (sum == nullptr || sum->asNumber() == 0 || items == nullptr) return true;
    static const char* const kMembers[] = {"channel",    "startTime",  "endTime", "type",
                                           "streamType", "memoryType", "fileSize"};
    // Pushed numbers may be anything: truncated with saturation, then kept to the field's width.
    const auto byte = [](const api::CJvalue* v) {
        return static_cast<uint8_t>(api::truncNumber(v->asNumber()));
    };
    for (const auto& [index, element] : items->children()) {
        const api::CJvalue* m[7];
        bool complete = true;
        for (int i = 0; i < 7 && complete; ++i)
            complete = (m[i] = element.find(api::CJkey(kMembers[i]))) != nullptr;
        if (!complete) break;
        api::AVResource r;
        r.key = {sim, byte(m[0])};
        r.start = m[1]->asText();
        r.end = m[2]->asText();
        r.type = byte(m[3]);
        r.streamType = byte(m[4]);
        r.memoryType = byte(m[5]);
        r.fileSize = static_cast<int32_t>(
            std::clamp<int64_t>(api::truncNumber(m[6]->asNumber()), INT32_MIN, INT32_MAX));
        out.insert(std::move(r));
    }
    return true;
}

bool WS_AVPBList::FindCovering(api::AVResource& request) const {
    for (const api::AVResource& r : list) {
        if (r.key != request.key || r.start > request.start) continue;
        if (r.end <= request.start) continue;
        if (r.end < request.end) request.end = r.end;
        request.type = r.type == 3 ? 0 : r.type;
        request.streamType = r.streamType == 0 ? 2 : r.streamType;
        request.memoryType = r.memoryType == 0 ? 1 : r.memoryType;
        return true;
    }
    return false;
}

} // namespace net
