// The main controller's live video: opening pictures from the tree, the replies of the video
// server, the results of the platform and the view's channel events.

#include <filesystem>

#include "api/LoginDialog.h"
#include "ui/LoginWindow.h"
#include "ui/MainControl.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace ui {

namespace {

constexpr int kSampleRate = 8000;
constexpr int kBits = 16;
constexpr int kWaitSeconds = 10;
const std::string kNoTime = "000000000000";

} // namespace

void MainControl::TB_playallClick(const api::TRNode* selected) {
    if (mode != kLive) return;
    if (!window.viewDown) TB_viewClick();
    const api::TRNode* node = selected;
    if (node == nullptr || node->data == nullptr) return;
    if (node->kind == api::kCompany || node->kind == api::kFleet) return;
    if (node->kind == api::kVehicle) {
        node = node->firstChild;
        if (node == nullptr || node->data == nullptr) return;
    }
    CarTree_objClick(node);
    if (view.CountFree() == 0) {
        if (desktop != nullptr) desktop->Error("提示"_gbk, "无空闲画面"_gbk);
        return;
    }
    const api::TerminalInfo info = web.terminalInfo(selectedKey);
    if (!info.online && desktop != nullptr &&
        !desktop->ConfirmError("提示"_gbk, "设备上报掉线，尝试看？"_gbk))
        return;
    if (node->kind == api::kTerminal) {
        if (static_cast<int>(info.channels.size()) > view.CountFree() && desktop != nullptr)
            desktop->Error("提示"_gbk, "空闲画面不足，无法打开所有视频"_gbk);
        for (const std::string& label : info.channels)
            openChannel({selectedKey.sim, media::channelFromLabel(label)}, info.vehicleName, label,
                        0, true);
    } else if (node->kind == api::kChannel) {
        openChannel(selectedKey, info.vehicleName,
                    std::string(media::channelLabel(selectedKey.channel)), 0, true);
    }
}

void MainControl::openChannel(const media::SIMCH& key, const std::string& vehicleName,
                              const std::string& label, uint8_t cell, bool request) {
    media::RTPPlayer* p = view.Open(key, vehicleName, label, cell, false, kSampleRate, kBits, 1);
    if (p == nullptr) return; // no cell left for it
    // The status first: a request refused at once ("视频服务器未连接") must stay readable.
    view.SetStatus(key, "建立通道..."_gbk);
    if (request) video.RequestChannel(key, true, 0, 0);
}

void MainControl::TB_stopallClick() {
    for (uint8_t cell = 1; cell <= MultiPlayer::kCells; ++cell)
        view.CloseCell(cell);
    if (mode != kLive) mode = kPlaybackIdle;
}

void MainControl::onFrame(const media::RTPmeta& header, std::string_view body) {
    view.OnFrame(header, body);
}

void MainControl::setStatus(const media::SIMCH& key, const std::string& text) {
    view.SetStatus(key, text);
}

void MainControl::onReply(const media::SIMCH& key, uint16_t code, bool ok,
                          const std::string& text) {
    switch (code) {
    case net::RTP_Cont::kOpen:
        if (!ok) {
            setStatus(key, text);
            return;
        }
        setStatus(key, text == "0" ? "设备连接..."_gbk : "等待码流..."_gbk);
        view.SetWait(key, kWaitSeconds);
        // Only a channel that still has a picture asks the terminal to send.
        if (mode == kLive && text == "0" && view.players().count(key)) web.playLive(key, 0, 1);
        return;
    case net::RTP_Cont::kClose:
        setStatus(key, "设备断开..."_gbk);
        if (ok && text == "1" && mode == kLive) web.controlLive(key, 0, 0, 1);
        return;
    case net::RTP_Cont::kAnswer:
        if (!ok) return;
        lastRefresh = clock.now();
        // Beyond the specification: after a server restart every picture asks again at once
        // instead of staying dark until the next 30 s refresh.
        refreshChannels();
        return;
    case net::RTP_Cont::kNotice:
        if (ok) web.playServer = text;
        return;
    default:
        return;
    }
}

void MainControl::refreshChannels() {
    for (uint8_t cell = 1; cell <= MultiPlayer::kCells; ++cell)
        if (ChanelPic* c = view.GetCell(cell); c != nullptr && c->player != nullptr)
            video.RequestChannel(c->player->key, true, 0, 1);
}

void MainControl::onChannelEvent(const media::SIMCH& key, uint8_t code, uint8_t arg) {
    const bool live = mode == kLive;
    switch (code) {
    case EvClosed:
        if (!live) web.controlPlayback(key, 2, 0, kNoTime);
        video.RequestChannel(key, false, 0, 0);
        break;
    case EvStreamSwitch:
        if (live) web.controlLive(key, 1, 0, arg);
        break;
    case EvPause:
        if (live)
            web.controlLive(key, 2, 0, arg);
        else
            web.controlPlayback(key, 1, 0, kNoTime);
        break;
    case EvResume:
        if (live)
            web.controlLive(key, 3, 0, arg);
        else
            web.controlPlayback(key, 0, 0, kNoTime);
        break;
    case EvAudioOn:
        if (live) web.playLive(key, 1, arg);
        break;
    case EvAudioOff:
        if (live) web.controlLive(key, 0, 1, arg);
        break;
    case EvBufferHigh:
        video.SendFlowControl(key, 1);
        break;
    case EvBufferLow:
        video.SendFlowControl(key, 0);
        break;
    default:
        break;
    }
}

void MainControl::onResult(int opid, bool ok, const std::string& message, const media::SIMCH& key) {
    switch (opid) {
    case api::HttpPostDataCont::kLogin:
        loginResult(ok, message);
        return;
    case api::HttpPostDataCont::kVehicleTree:
        vehicleDataResult(ok, message);
        if (ok || !web.started) return;
        break; // a failure after the data was loaded is like any other
    case api::HttpPostDataCont::kQueryState:
        window.accFlushCaption = ok ? "状态同步成功"_gbk : "状态同步失败"_gbk;
        syncCounter = ok ? 1 : 15;
        return;
    default:
        break;
    }
    if (ok) return;
    if (opid == api::HttpPostDataCont::kQueryRecordings) {
        listener.Reset();
        window.timeText = "查询失败"_gbk;
    }
    if (opid == api::HttpPostDataCont::kQueryRecordings ||
        opid == api::HttpPostDataCont::kUploadAlarm) {
        if (desktop != nullptr) desktop->Inform(media::channelLabel(key.channel), message);
        return;
    }
    if (!message.empty()) view.SetWait(key, 0);
    setStatus(key, message);
}

void MainControl::loginResult(bool ok, const std::string& message) {
    if (login != nullptr) login->setMessage(message);
    if (!ok) {
        if (login != nullptr) login->setLoginEnabled(true);
        window.userCaption = "登录失败"_gbk;
        return;
    }
    window.userCaption = web.userName;
    if (login != nullptr) login->setMessage("下载车辆资料，请耐心等候..."_gbk);
    std::string cache;
    if (store.GetStr("车辆资料"_gbk, cache) && !cache.empty() && web.loadVehicleCache(cache)) {
        if (login != nullptr) login->setMessage("加载本地缓存资料"_gbk);
    } else {
        web.vehicleDataTime = clock.now() - 1;
        BT_carSYNClick();
    }
}

void MainControl::vehicleDataResult(bool ok, const std::string& message) {
    (void)message;
    if (!ok) {
        if (!web.started && login != nullptr) login->setLoginEnabled(true);
        // Also after the data was loaded: "车辆资料更新中..." would otherwise stay for good, as
        // the once-a-second caption leaves that text alone.
        window.carSynCaption = "车辆资料更新失败"_gbk;
        return;
    }
    syncCounter = 300; // the first status synchronisation runs within the next second
    window.accFlushCaption = "状态同步->>"_gbk;
    window.carSynCaption = "车辆资料更新成功"_gbk;
    if (login != nullptr) login->setMessage("获取车辆资料成功"_gbk);
    web.refreshTree(true);
    if (!web.started) {
        uint16_t h = 0, w = 0;
        if (surfaceSize) surfaceSize(h, w);
        view.Init(surface, h, w);
        video.Connect(web.userName, kVideoPassword);
        web.started = true;
        reopenLastPictures();
    }
    web.started = true;
    if (login != nullptr) login->closeDialog();
    std::error_code ec;
    if (!std::filesystem::is_directory(util::gbkToUtf8(storageRoot), ec) && desktop != nullptr)
        desktop->Inform("提示"_gbk, "请设置截图录像存储路径！"_gbk);
}

void MainControl::reopenLastPictures() {
    if (!reopenPending) return;
    reopenPending = false;
    if (reopen.entries.empty()) return;
    uint16_t h = 0, w = 0;
    if (surfaceSize) surfaceSize(h, w);
    view.firstCell = reopen.firstCell;
    view.Layout(h, w, reopen.mode);
    for (const LastPictures::Entry& e : reopen.entries) {
        // Only channels the platform still lists come back.
        const api::TerminalInfo info = web.terminalInfo(e.key);
        const std::string label(media::channelLabel(e.key.channel));
        bool listed = false;
        for (const std::string& l : info.channels)
            listed = listed || media::channelFromLabel(l) == e.key.channel;
        if (!listed) continue;
        // The video server is not logged in yet: its login answer asks for every picture.
        openChannel(e.key, info.vehicleName.empty() ? e.vehicleName : info.vehicleName, label,
                    e.cell, video.loggedIn());
    }
}

} // namespace ui
