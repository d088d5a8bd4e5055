#include "api/HttpPostDataCont.h"

#include <algorithm>
#include <system_error>

#include "api/CurlTransport.h"
#include "api/PostCompletions.h"
#include "api/TPostThread.h"
#include "api/VehicleList.h"
#include "settings/ConfSet.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace api {

namespace {

CJvalue number(double v) {
    CJvalue j;
    j.setNumber(v);
    return j;
}

CJvalue text(std::string_view v) {
    CJvalue j;
    j.setText(v);
    return j;
}

std::string commandMessage(const media::SIMCH& simch) {
    return "SIM:" + simch.sim + " CH:" + std::to_string(simch.channel);
}

std::string_view labelOf(uint8_t opid) {
    switch (opid) {
    case HttpPostDataCont::kLogin:
        return "登录"_gbk;
    case HttpPostDataCont::kVehicleTree:
        return "获取车辆树"_gbk;
    case HttpPostDataCont::kPlayLive:
        return "实时播放"_gbk;
    case HttpPostDataCont::kControlLive:
        return "实时控制"_gbk;
    case HttpPostDataCont::kQueryRecordings:
        return "查询历史列表"_gbk;
    case HttpPostDataCont::kPlayRecording:
        return "历史回放"_gbk;
    case HttpPostDataCont::kControlPlayback:
        return "历史控制"_gbk;
    case HttpPostDataCont::kReportPatrol:
        return "视频巡查"_gbk;
    case HttpPostDataCont::kUploadAlarm:
        return "巡查告警"_gbk;
    case HttpPostDataCont::kQueryState:
        return "ACC查询"_gbk;
    default:
        return {};
    }
}

// "yyyy-mm-dd hh:nn:ss"; absent gives 0, shorter than ten characters the current time, and a
// text that cannot be read counts as never reported.
util::DateTime reportTime(const CJvalue& element, const char* name, util::DateTime now) {
    const CJvalue* v = element.find(CJkey(name));
    if (!v) return 0;
    return util::readDateTime(v->asText(), now).value_or(0);
}

} // namespace

HttpPostDataCont::HttpPostDataCont(std::shared_ptr<HttpTransport> transport,
                                   const util::Clock& clock)
    : vehicleDataTime(clock.now() - 1), log(clock), clock(&clock),
      transport(transport ? std::move(transport) : std::make_shared<CurlTransport>()),
      completions(std::make_shared<PostCompletions>()) {}

HttpPostDataCont::~HttpPostDataCont() {
    completions->close();
    for (Lane& lane : lanes) {
        lane.queued.clear();
        lane.running.clear(); // joins each worker
    }
}

// --- Pipeline ---

void HttpPostDataCont::postRequest(std::string_view label, std::string_view message,
                                   const media::SIMCH& simch, uint8_t opid, std::string url,
                                   std::string body) {
    log.write(label, message, url, body, {});
    auto worker = std::make_unique<TPostThread>(transport, completions, simch, opid, std::move(url),
                                                std::move(body));
    lanes[isBulk(opid) ? 1 : 0].queued.push_back(std::move(worker));
    startQueued();
}

void HttpPostDataCont::startQueued() {
    for (Lane& lane : lanes) {
        while (lane.running.size() < maxWorkers && !lane.queued.empty()) {
            try {
                lane.queued.front()->start();
            } catch (const std::system_error&) {
                return; // out of threads: the request waits for the next call
            }
            lane.running.push_back(std::move(lane.queued.front()));
            lane.queued.pop_front();
        }
    }
}

size_t HttpPostDataCont::pendingRequests() const {
    size_t n = 0;
    for (const Lane& lane : lanes)
        n += lane.running.size() + lane.queued.size();
    return n;
}

size_t HttpPostDataCont::runCompletions() {
    size_t count = 0;
    startQueued();
    // One at a time: a result handler may run a nested loop that comes back here.
    while (TPostThread* w = completions->next()) {
        auto& running = lanes[isBulk(w->opid) ? 1 : 0].running;
        auto it = std::find_if(running.begin(), running.end(),
                               [w](const auto& p) { return p.get() == w; });
        if (it == running.end()) continue; // cannot happen: every queued worker is running
        std::unique_ptr<TPostThread> worker = std::move(*it);
        running.erase(it);
        completeRequest(worker->simch, worker->opid, worker->reply, worker->ok, worker->errorText);
        completions->finish(worker.get());
        worker->join();
        ++count;
        startQueued();
    }
    return count;
}

bool HttpPostDataCont::waitCompletions(int limitMs) {
    return completions->wait(std::chrono::milliseconds(limitMs));
}

void HttpPostDataCont::completeRequest(const media::SIMCH& simch, uint8_t opid,
                                       const std::string& reply, bool ok,
                                       const std::string& errorText) {
    log.write("POSTREC",
              commandMessage(simch) + " opid:" + std::to_string(opid) +
                  " isok:" + (ok ? "1" : "0") + " msg:" + errorText,
              {}, {}, reply);
    bool result = false;
    switch (opid) {
    case kLogin:
        result = loginReply(ok, errorText, reply);
        break;
    case kVehicleTree:
        result = vehicleTreeReply(ok, errorText, reply);
        break;
    case kQueryState:
        result = stateReply(ok, errorText, reply);
        break;
    case kReportPatrol:
        result = patrolReply(ok, errorText, reply);
        break;
    default:
        result = commandReply(simch, ok, errorText, reply);
        break;
    }
    if (OnResult) OnResult(opid, result, statusText, simch);
}

bool HttpPostDataCont::readEnvelope(std::string_view reply, Envelope& out) {
    out.root.clear();
    out.obj = nullptr;
    if (!out.root.parse(reply)) return false;
    const CJvalue* code = out.root.find(CJkey("code"));
    const CJvalue* msg = out.root.find(CJkey("msg"));
    if (!code || !msg) return false;
    out.code =
        static_cast<int>(std::clamp<int64_t>(truncNumber(code->asNumber()), INT32_MIN, INT32_MAX));
    out.msg = msg->asText();
    out.obj = out.root.find(CJkey("obj"));
    return true;
}

bool HttpPostDataCont::openReply(bool ok, const std::string& errorText, std::string_view reply,
                                 Envelope& env) {
    if (!ok) {
        statusText = errorText;
        return false;
    }
    if (!readEnvelope(reply, env)) {
        statusText = "返回数据错误"_gbk;
        return false;
    }
    if (env.code != 0) {
        statusText = env.msg;
        return false;
    }
    return true;
}

bool HttpPostDataCont::commandReply(const media::SIMCH& simch, bool ok,
                                    const std::string& errorText, const std::string& reply) {
    if (!ok) {
        statusText = errorText;
        return false;
    }
    Envelope env;
    if (!readEnvelope(reply, env)) {
        statusText = "返回数据错误"_gbk;
        return false;
    }
    statusText = env.msg;
    if (env.code == 0) return true;
    if (env.msg == "设备未连接TCP服务！"_gbk) markOffline(simch);
    return false;
}

// --- Login and vehicle data ---

void HttpPostDataCont::login(uint8_t type, std::string_view name, std::string_view password) {
    projectType = type;
    userName = name;
    statusText = "登录..."_gbk;
    builder.clear();
    builder.setMember("dlly", text("Kelvex"));
    builder.setMember("password", text(password));
    builder.setMember("projectType", number(projectType));
    builder.setMember("username", text(userName));
    builder.setMember("version", text("V1.0"));
    postRequest(labelOf(kLogin), {}, {}, kLogin, dataUrl + "login", builder.write());
}

bool HttpPostDataCont::loginReply(bool ok, const std::string& errorText, const std::string& reply) {
    Envelope env;
    if (!openReply(ok, errorText, reply, env)) return false;
    const CJvalue* dept = env.obj ? env.obj->find(CJkey("deptId")) : nullptr;
    if (!dept) {
        statusText = "无用户组织数据"_gbk;
        return false;
    }
    deptId = dept->asText();
    const CJvalue* id = env.obj->find(CJkey("id"));
    if (!id) {
        statusText = "无用户ID数据"_gbk;
        return false;
    }
    userId = id->asText();
    statusText = "登录成功"_gbk;
    loggedIn = true;
    return true;
}

void HttpPostDataCont::requestVehicleTree() {
    if (!loggedIn) {
        refuse(kVehicleTree, {});
        return;
    }
    statusText = "获取车辆资料..."_gbk;
    builder.clear();
    builder.setMember("deptId", text(deptId));
    builder.setMember("projectType", number(projectType));
    postRequest(labelOf(kVehicleTree), {}, {}, kVehicleTree, dataUrl + "carTree", builder.write());
}

void HttpPostDataCont::queryState(const std::set<std::string>& simSet) {
    statusText = "ACC查询..."_gbk;
    CJvalue batch;
    const auto post = [&] {
        builder.clear();
        builder.setMember("projectType", number(projectType));
        builder.setMember("sjhms", std::move(batch));
        postRequest(labelOf(kQueryState), {}, {}, kQueryState, dataUrl + "accstatus",
                    builder.write());
        batch.clear();
    };
    for (const std::string& sim : simSet) {
        batch.append(text(media::stripSim(sim)));
        if (batch.childCount() >= kStateBatch) post();
    }
    if (batch.childCount() > 0) post();
}

bool HttpPostDataCont::stateReply(bool ok, const std::string& errorText, const std::string& reply) {
    Envelope env;
    if (!openReply(ok, errorText, reply, env)) return false;
    if (!env.obj) {
        statusText = "无obj数据"_gbk;
        return false;
    }
    const util::DateTime now = clock->now();
    const size_t count = env.obj->childCount();
    for (size_t i = 0; i < count; ++i) {
        const CJvalue* e = env.obj->find(CJkey(static_cast<int32_t>(i)));
        const CJvalue* sjhm = e ? e->find(CJkey("sjhm")) : nullptr;
        const CJvalue* acc = e ? e->find(CJkey("acc")) : nullptr;
        if (!sjhm || !acc) return false;
        const util::DateTime onlineTime = reportTime(*e, "spwzhbsj", now);
        bool online = truncNumber(acc->asNumber()) == 1;
        if (now - onlineTime > kStateLifetime) online = false;
        const CJvalue* gpsacc = e->find(CJkey("gpsacc"));
        const bool gpsAcc = gpsacc && (truncNumber(gpsacc->asNumber()) & 1) != 0;
        setTerminalState(media::padSim(sjhm->asText()), online, onlineTime, gpsAcc,
                         reportTime(*e, "gpswzhbsj", now));
    }
    statusText = "同步状态成功"_gbk;
    return true;
}

bool HttpPostDataCont::vehicleTreeReply(bool ok, const std::string& errorText,
                                        const std::string& reply) {
    Envelope env;
    if (!openReply(ok, errorText, reply, env)) return false;
    if (!env.obj) {
        statusText = "无车辆数据"_gbk;
        return false;
    }
    statusText = "车辆资料数据错误"_gbk;
    // Read aside: a faulty list keeps the records the operator already has.
    CarTreeMap read;
    if (!readVehicleList(*env.obj, read)) return false;
    tree.replaceRecords(std::move(read));
    statusText = "获取车辆资料完成"_gbk;
    vehicleDataTime = clock->now();
    saveVehicleCache();
    return true;
}

void HttpPostDataCont::saveVehicleCache() {
    if (!settings) return;
    const std::string& key = "车辆资料"_gbk;
    std::string value = writeVehicleCache(userName, vehicleDataTime, vehicles);
    settings::ConfVal* v = settings->Find(key);
    if (!v) {
        settings::ConfVal def;
        def.category = "缓存"_gbk;
        def.name = key;
        def.type = settings::kConfData;
        def.internal = true;
        v = &settings->params.emplace(key, std::move(def)).first->second;
    }
    // A text parameter holds at most 65535 bytes; a cut cache would never load again.
    if (v->type != settings::kConfData && value.size() > settings::ConfSet::kMaxText)
        v->type = settings::kConfData;
    if (settings->SetStr(key, value)) settings->Save();
}

bool HttpPostDataCont::loadVehicleCache(std::string_view value) {
    util::DateTime fetched = 0;
    CarTreeMap read;
    if (readVehicleCache(value, userName, clock->now(), read, fetched) != CacheRead::ok)
        return false;
    vehicleDataTime = fetched;
    tree.replaceRecords(std::move(read));
    if (OnResult) OnResult(kVehicleTree, true, "加载车辆资料成功"_gbk, media::SIMCH{});
    return true;
}

// --- Media commands ---

void HttpPostDataCont::refuse(uint8_t opid, const media::SIMCH& simch) {
    statusText = "还没登陆呢"_gbk;
    if (OnResult) OnResult(opid, false, statusText, simch);
}

void HttpPostDataCont::setCommon(const media::SIMCH& simch, std::string_view operateType) {
    builder.clear();
    builder.setMember("chl", number(simch.channel));
    builder.setMember("operateType", text(operateType));
    builder.setMember("projectType", number(projectType));
    builder.setMember("terid", text(media::stripSim(simch.sim)));
    builder.setMember("userfid", text(userId));
}

void HttpPostDataCont::playLive(const media::SIMCH& simch, uint8_t audio, uint8_t streamKind) {
    if (!loggedIn) return refuse(kPlayLive, simch);
    statusText = "音视频实时播放..."_gbk;
    setCommon(simch, "1");
    builder.setMember("audio", number(audio));
    builder.setMember("playServer", text(playServer));
    builder.setMember("st", number(streamKind));
    postRequest(labelOf(kPlayLive), commandMessage(simch), simch, kPlayLive, cmdUrl,
                builder.write());
}

void HttpPostDataCont::controlLive(const media::SIMCH& simch, uint8_t instruction,
                                   uint8_t closeType, uint8_t switchStream) {
    if (!loggedIn) return refuse(kControlLive, simch);
    statusText = "音视频实时控制..."_gbk;
    setCommon(simch, "4");
    builder.setMember("closeType", number(closeType));
    builder.setMember("instruction", number(instruction));
    builder.setMember("switchStream", number(switchStream));
    postRequest(labelOf(kControlLive), commandMessage(simch), simch, kControlLive, cmdUrl,
                builder.write());
}

void HttpPostDataCont::queryRecordings(const media::SIMCH& simch, std::string_view startText,
                                       std::string_view endText) {
    if (!loggedIn) return refuse(kQueryRecordings, simch);
    statusText = "查询历史音视频列表..."_gbk;
    setCommon(simch, "2");
    builder.setMember("endtime", text(endText));
    builder.setMember("ft", text("0"));
    builder.setMember("mt", text("0"));
    builder.setMember("st", text("0"));
    builder.setMember("starttime", text(startText));
    postRequest(labelOf(kQueryRecordings), commandMessage(simch), simch, kQueryRecordings, cmdUrl,
                builder.write());
}

void HttpPostDataCont::playRecording(const AVResource& entry, uint8_t playbackType,
                                     uint8_t multiple) {
    const media::SIMCH& simch = entry.key;
    if (!loggedIn) return refuse(kPlayRecording, simch);
    statusText = "历史音视频回放..."_gbk;
    setCommon(simch, "3");
    builder.setMember("endtime", text(entry.end));
    builder.setMember("memoryType", number(entry.memoryType));
    builder.setMember("multiple", number(multiple));
    builder.setMember("playServer", text(playServer));
    builder.setMember("playbackType", number(playbackType));
    builder.setMember("starttime", text(entry.start));
    builder.setMember("streamType", number(entry.streamType));
    builder.setMember("type", number(entry.type));
    postRequest(labelOf(kPlayRecording), commandMessage(simch), simch, kPlayRecording, cmdUrl,
                builder.write());
}

void HttpPostDataCont::controlPlayback(const media::SIMCH& simch, uint8_t playbackControl,
                                       uint8_t multiple, std::string_view locate) {
    if (!loggedIn) return refuse(kControlPlayback, simch);
    statusText = "音视频回放控制..."_gbk;
    setCommon(simch, "5");
    builder.setMember("locate", text(locate));
    builder.setMember("multiple", number(multiple));
    builder.setMember("playbackControl", number(playbackControl));
    postRequest(labelOf(kControlPlayback), commandMessage(simch), simch, kControlPlayback, cmdUrl,
                builder.write());
}

// --- Patrol and alarm ---

void HttpPostDataCont::reportPatrol(uint8_t state, const std::vector<std::string>& sims,
                                    std::string_view startText, std::string_view endText) {
    if (sims.empty()) return;
    if (state == 0) {
        patrolId.clear();
        state = 1;
    }
    CJvalue list;
    for (const std::string& sim : sims)
        list.append(text(media::stripSim(sim)));
    statusText = "视频巡查..."_gbk;
    builder.clear();
    builder.setMember("jssj", text(endText));
    builder.setMember("kssj", text(startText));
    builder.setMember("lxfid", text(patrolId));
    builder.setMember("projectType", number(projectType));
    builder.setMember("sjhms", std::move(list));
    builder.setMember("type", number(state));
    builder.setMember("userfid", text(userId));
    postRequest(labelOf(kReportPatrol), {}, {}, kReportPatrol, dataUrl + "videoxc_client",
                builder.write());
}

bool HttpPostDataCont::patrolReply(bool ok, const std::string& errorText,
                                   const std::string& reply) {
    Envelope env;
    if (!openReply(ok, errorText, reply, env)) return false;
    const CJvalue* id = env.obj ? env.obj->find(CJkey("lxfid")) : nullptr;
    if (!id) {
        statusText = "无轮询FID"_gbk;
        return false;
    }
    patrolId = id->asText();
    return true;
}

void HttpPostDataCont::uploadPatrolAlarm(const UpAlarmXC& r) {
    statusText = "巡查告警..."_gbk;
    builder.clear();
    builder.setMember("bjdd", text(r.location));
    builder.setMember("bjlx", text(r.alarmType));
    builder.setMember("bjsj", text(r.alarmTime));
    builder.setMember("bjzt", text(r.state));
    builder.setMember("bz", text(r.remark));
    builder.setMember("clfs", text(r.handling));
    builder.setMember("clr", text(r.handledBy));
    builder.setMember("file", text(r.pictureData));
    builder.setMember("jsyxm", text(r.driver));
    builder.setMember("lxfs", text(r.contactNumber));
    builder.setMember("lxr", text(r.contactPerson));
    builder.setMember("sjhm", text(media::stripSim(r.simch.sim)));
    builder.setMember("sptd", number(r.simch.channel));
    builder.setMember("username", text(userName));
    postRequest(labelOf(kUploadAlarm), {}, {}, kUploadAlarm, dataUrl + "uploadAlermSpxc",
                builder.write());
}

} // namespace api
