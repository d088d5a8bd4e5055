#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "api/AVResource.h"
#include "api/CJvalue.h"
#include "api/CarTreeNode.h"
#include "api/RequestLog.h"
#include "api/UpAlarmXC.h"
#include "api/VehicleTree.h"
#include "media/SIMCH.h"
#include "util/Clock.h"

namespace settings {
class ConfSet;
}

namespace api {

class HttpTransport;
class PostCompletions;
class TPostThread;

// The reply envelope: "code" (0 = success), "msg", and the payload "obj" when present.
// `obj` points into `root`, so an envelope is neither copied nor moved.
struct Envelope {
    Envelope() = default;
    Envelope(const Envelope&) = delete;
    Envelope& operator=(const Envelope&) = delete;

    int code = 0;
    std::string msg;
    const CJvalue* obj = nullptr;
    CJvalue root;
};

// The client of the platform's web API. Everything here runs on the owner's (user-interface)
// thread; only the HTTP exchanges run on worker threads, whose outcomes come back through
// `runCompletions`, which the owner calls from its loop.
class HttpPostDataCont {
public:
    enum Opid : uint8_t {
        kLogin = 0,
        kVehicleTree = 1,
        kPlayLive = 2,
        kControlLive = 3,
        kQueryRecordings = 5,
        kPlayRecording = 6,
        kControlPlayback = 7,
        kReportPatrol = 8,
        kUploadAlarm = 9,
        kQueryState = 10,
    };
    static constexpr size_t kStateBatch = 201;
    static constexpr size_t kDefaultMaxWorkers = 8;

    using ResultHandler = std::function<void(int opid, bool result, const std::string& statusText,
                                             const media::SIMCH& simch)>;

    // Without a transport the exchanges go through libcurl.
    explicit HttpPostDataCont(std::shared_ptr<HttpTransport> transport = nullptr,
                              const util::Clock& clock = util::systemClock());
    // Abandons the exchanges in progress and waits for their workers (bounded by the
    // transport's time-outs); their completions and those of queued requests never run.
    ~HttpPostDataCont();
    HttpPostDataCont(const HttpPostDataCont&) = delete;
    HttpPostDataCont& operator=(const HttpPostDataCont&) = delete;

    // --- Shared state (all GBK) ---
    CJvalue builder;
    std::string dataUrl;
    std::string cmdUrl;
    uint8_t projectType = 0;
    std::string userName;
    std::string userId;
    std::string deptId;
    std::string playServer;
    std::string patrolId;
    bool loggedIn = false;
    bool started = false;
    std::string statusText;
    util::DateTime vehicleDataTime;
    ResultHandler OnResult;
    RequestLog log;
    // Where the vehicle cache is written; none: not cached.
    settings::ConfSet* settings = nullptr;
    CarTreeMap vehicles;
    // The records as a tree; rebuilt whenever the records are replaced.
    VehicleTree tree{vehicles};

    // --- Pipeline ---
    void postRequest(std::string_view label, std::string_view message, const media::SIMCH& simch,
                     uint8_t opid, std::string url, std::string body);
    void completeRequest(const media::SIMCH& simch, uint8_t opid, const std::string& reply, bool ok,
                         const std::string& errorText);
    static bool readEnvelope(std::string_view reply, Envelope& out);

    // Runs the completions of finished workers; returns how many ran. Owner's thread.
    size_t runCompletions();
    // Blocks until a worker has finished or `limitMs` passed (programs without a timer loop).
    bool waitCompletions(int limitMs);
    // Requests posted whose completion has not run yet (running or queued).
    size_t pendingRequests() const;
    // At most this many exchanges at once in each lane; the rest wait in order.
    void setMaxWorkers(size_t n) { maxWorkers = n ? n : 1; }
    // The vehicle list and the state batches: their own lane, so that the operator's commands
    // never wait behind hundreds of state batches on a slow platform.
    static bool isBulk(uint8_t opid) { return opid == kVehicleTree || opid == kQueryState; }

    // --- Requests ---
    void login(uint8_t projectType, std::string_view userName, std::string_view password);
    void requestVehicleTree();
    // SIM numbers in their 20-character form.
    void queryState(const std::set<std::string>& simSet);
    void playLive(const media::SIMCH& simch, uint8_t audio, uint8_t streamKind);
    void controlLive(const media::SIMCH& simch, uint8_t instruction, uint8_t closeType,
                     uint8_t switchStream);
    void queryRecordings(const media::SIMCH& simch, std::string_view startText,
                         std::string_view endText);
    void playRecording(const AVResource& entry, uint8_t playbackType, uint8_t multiple);
    void controlPlayback(const media::SIMCH& simch, uint8_t playbackControl, uint8_t multiple,
                         std::string_view locate);
    // `sims`: the SIM number of each patrol entry, in the patrol's order.
    void reportPatrol(uint8_t state, const std::vector<std::string>& sims,
                      std::string_view startText, std::string_view endText);
    void uploadPatrolAlarm(const UpAlarmXC& record);

    // --- Vehicle data ---
    bool loadVehicleCache(std::string_view value);
    void setTreeView(VehicleTreeView* view) { tree.setTreeView(view); }
    void refreshTree(bool full) { tree.refreshTree(full); }
    void expireStates() { tree.expireStates(clock->now()); }
    void setTerminalState(const std::string& sim, bool online, util::DateTime onlineTime,
                          bool gpsAcc, util::DateTime gpsAccTime) {
        tree.setTerminalState(sim, online, onlineTime, gpsAcc, gpsAccTime);
    }
    void markOffline(const media::SIMCH& simch) { tree.markOffline(simch); }
    TerminalInfo terminalInfo(const media::SIMCH& simch) const { return tree.terminalInfo(simch); }
    bool terminalState(const media::SIMCH& simch, TerminalState& out) const {
        return tree.terminalState(simch, out);
    }
    bool isTerminalOnline(const media::SIMCH& simch) const { return tree.isTerminalOnline(simch); }
    std::string terminalTitle(const media::SIMCH& simch) const { return tree.terminalTitle(simch); }

private:
    void postCommand(uint8_t opid, std::string_view label, std::string_view progress,
                     const media::SIMCH& simch, std::string_view operateType);
    void refuse(uint8_t opid, const media::SIMCH& simch);
    void setCommon(const media::SIMCH& simch, std::string_view operateType);
    void startQueued();

    bool openReply(bool ok, const std::string& errorText, std::string_view reply, Envelope& env);
    bool loginReply(bool ok, const std::string& errorText, const std::string& reply);
    bool vehicleTreeReply(bool ok, const std::string& errorText, const std::string& reply);
    bool stateReply(bool ok, const std::string& errorText, const std::string& reply);
    bool patrolReply(bool ok, const std::string& errorText, const std::string& reply);
    bool commandReply(const media::SIMCH& simch, bool ok, const std::string& errorText,
                      const std::string& reply);
    void saveVehicleCache();

    const util::Clock* clock;
    std::shared_ptr<HttpTransport> transport;
    std::shared_ptr<PostCompletions> completions;
    struct Lane {
        std::vector<std::unique_ptr<TPostThread>> running;
        std::deque<std::unique_ptr<TPostThread>> queued;
    };
    Lane lanes[2]; // commands, bulk queries
    size_t maxWorkers = kDefaultMaxWorkers;
};

} // namespace api
