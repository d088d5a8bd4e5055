#include "ui/MainControl.h"

#include <filesystem>

#include "api/LoginDialog.h"
#include "ui/LoginWindow.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace ui {

namespace {

// A relative storage root would depend on where the program was started from.
std::string resolvedRoot(const std::string& root, const std::string& programDir) {
    if (root.empty() || root.front() == '/') return root;
    std::string rest = root;
    if (rest.rfind("./", 0) == 0) rest.erase(0, 2);
    return programDir + rest;
}

} // namespace

MainControl::MainControl(Parts parts, std::string dir)
    : view(*parts.counter, parts.sound ? parts.sound : media::SystemSoundDevice::make),
      web(parts.transport, *parts.clock), video(parts.videoSocket, *parts.clock),
      listener(parts.pushSocket, *parts.clock, web.log), clock(*parts.clock),
      counter(*parts.counter), programDir(std::move(dir)), secondClock(*parts.counter) {}

MainControl::~MainControl() {
    // The players' callbacks and the connections' consumers point back here.
    view.OnChannelEvent = nullptr;
    view.MakeFilePath = nullptr;
    video.OnFrame = nullptr;
    video.OnReply = nullptr;
    web.OnResult = nullptr;
    listener.OnListResult = nullptr;
}

void MainControl::FormCreate() {
    // 1-3: the controller's state.
    const util::DateTime now = clock.now();
    lastRefresh = lastAgeing = now;
    syncCounter = 0;
    playbackSecond = 0;
    playbackDate = util::formatDateTime("yyyy-mm-dd", now);
    mode = kLive;
    idleWarned = false;
    searchIndex = 0;
    manualPath = programDir + "Tavrina使用说明.pdf"_gbk;
    web.loggedIn = false;
    web.started = false;
    web.settings = &store;
    store.Setup(programDir, "Zorvu");

    // 4: the login dialog.
    if (login != nullptr) {
        api::LoginDialog& dialog = login->logic();
        dialog.settings = &store;
        dialog.setClient(&web);
        dialog.setLog(false, programDir);
        dialog.prepareConnections = [this](uint8_t kind, std::string& message) {
            return prepareConnections(kind, message);
        };
        login->setLoginEnabled(true);
    }

    // 9-10: the callbacks.
    web.OnResult = [this](int opid, bool ok, const std::string& message, const media::SIMCH& k) {
        onResult(opid, ok, message, k);
    };
    video.Disconnect();
    video.OnFrame = [this](const media::RTPmeta& h, std::string_view body) { onFrame(h, body); };
    video.OnReply = [this](const media::SIMCH& k, uint16_t code, bool ok, const std::string& t) {
        onReply(k, code, ok, t);
    };
    listener.OnListResult = [](const std::string&, bool) {};
    listener.Reset();
    view.desktop = desktop;
    view.MakeFilePath = [this](std::string& out, int kind, const std::string& name,
                               const std::string& label, const std::string& ext,
                               double t) { return MakeFilePath(out, kind, name, label, ext, t); };
    view.OnChannelEvent = [this](const media::SIMCH& k, uint8_t code, uint8_t arg) {
        onChannelEvent(k, code, arg);
    };

    // 11: the settings; without them the window stays inert.
    if (!ReadSettings()) {
        if (desktop != nullptr) desktop->Inform("出错"_gbk, store.Message);
        return;
    }
    timerEnabled = true;
    secondClock.Start();
    if (login != nullptr && !web.loggedIn) {
        login->showCentred();
        // A video wall restarts unattended: the stored login goes by itself.
        if (autoLogin && !login->logic().name.empty() && !login->logic().password.empty())
            login->pressLogin();
    }
}

bool MainControl::ReadSettings() {
    if (!store.Load()) return false;
    std::string name, password;
    store.GetStr("用户名"_gbk, name);
    store.GetStr("密码"_gbk, password);
    if (login != nullptr) login->prefill(name, password);
    std::string root;
    if (!store.GetStr("截图录像保存目录"_gbk, root)) return false;
    storageRoot = resolvedRoot(root, programDir);
    bool logOn = false;
    if (!store.GetBool("收发日志"_gbk, logOn)) return false;
    if (login != nullptr) login->logic().setLog(logOn, programDir);
    web.log.logOn = logOn;
    // Each value goes to its place as soon as it is read: a failure leaves what came before.
    if (!store.GetStr("RTP服务器IP"_gbk, video.serverAddress)) return false;
    if (!store.GetPort("RTP服务器端口"_gbk, video.serverPort)) return false;
    if (!store.GetStr("POST_Data_url"_gbk, web.dataUrl)) return false;
    if (!store.GetStr("POST_CMD_url"_gbk, web.cmdUrl)) return false;
    if (!store.GetStr("WS监听IP"_gbk, listener.host)) return false;
    if (!store.GetPort("WS监听端口"_gbk, listener.port)) return false;
    listener.path = "/qorl/zdwebsocket/";
    uint8_t kind = 0;
    if (!store.GetByte("平台名称"_gbk, kind)) kind = 0;
    web.projectType = kind;
    std::string ignored;
    listener.SelectAddress(store, kind, ignored); // a failure shows again at login
    // Beyond the specification: missing means the shipped behaviour.
    bool flag = false;
    autoLogin = store.GetBool("自动登录"_gbk, flag) && flag;
    idleClosing = !store.GetBool("无操作关闭视频"_gbk, flag) || flag;
    std::string last;
    reopenPending = store.GetStr("上次画面"_gbk, last) && reopen.read(last);
    return true;
}

bool MainControl::prepareConnections(uint8_t kind, std::string& message) {
    // The listener's address follows the platform kind.
    if (!listener.SelectAddress(store, kind, message)) return false;
    web.projectType = kind;
    return true;
}

bool MainControl::FormCloseQuery() {
    if (web.loggedIn && desktop != nullptr &&
        !desktop->AskYesNo("提示"_gbk, "是否要退出系统？"_gbk))
        return false;
    saveLastPictures();
    TB_stopallClick();
    view.Clear();
    timerEnabled = false;
    video.Disconnect();
    listener.Reset();
    return true;
}

void MainControl::saveLastPictures() {
    // Only a run that showed pictures knows what to keep; one that never got vehicle data
    // keeps what the last good run stored.
    if (!web.started) return;
    LastPictures now;
    now.mode = view.mode;
    now.firstCell = view.firstCell;
    for (const auto& [key, player] : view.players())
        if (player->cell >= 1 && player->cell <= MultiPlayer::kCells)
            now.entries.push_back({key, player->displayName, static_cast<uint8_t>(player->cell)});
    const std::string& key = "上次画面"_gbk;
    if (store.Find(key) == nullptr) {
        // A settings file from before this parameter existed.
        settings::ConfVal def;
        def.category = "视频"_gbk;
        def.name = key;
        def.type = settings::kConfData;
        def.internal = true;
        store.params.emplace(key, std::move(def));
    }
    if (store.SetStr(key, now.write())) store.Save();
}

bool MainControl::MakeFilePath(std::string& out, int kind, const std::string& vehicleName,
                               const std::string& channelLabel, const std::string& extension,
                               util::DateTime time) {
    StorageContext c;
    c.root = storageRoot;
    c.liveMode = mode == kLive;
    c.playbackDate = playbackDate;
    c.playbackSecond = playbackSecond;
    c.patrolPlanTime = patrolPlanTime;
    c.now = clock.now();
    return ui::MakeFilePath(c, out, kind, vehicleName, channelLabel, extension, time);
}

void MainControl::TB_fileClick() {
    std::error_code ec;
    const std::filesystem::path root(util::gbkToUtf8(storageRoot));
    if (!std::filesystem::is_directory(root, ec)) {
        if (desktop != nullptr) desktop->Inform("提示"_gbk, "请设置截图录像存储路径！"_gbk);
        return;
    }
    if (desktop != nullptr) desktop->OpenPath(storageRoot);
}

} // namespace ui
