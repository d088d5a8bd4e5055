#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "api/HttpPostDataCont.h"
#include "api/TRNode.h"
#include "media/PlayTimer.h"
#include "media/SIMCH.h"
#include "media/SoundDevice.h"
#include "net/RTP_Cont.h"
#include "net/WS_AVPBList.h"
#include "settings/ConfSet.h"
#include "ui/Desktop.h"
#include "ui/LastPictures.h"
#include "ui/LoopStats.h"
#include "ui/MainWindowState.h"
#include "ui/MultiPlayer.h"
#include "ui/StoragePaths.h"
#include "util/Clock.h"

namespace api {
class HttpTransport;
}

namespace ui {

class LoginWindow;

// The main window's logic: it owns every long-lived object, reads the settings, drives the
// picture grid, the video-server connection, the platform client and the reply listener from
// one 30 ms tick, and opens and closes live video. The window (TForm1) turns its control events
// into the calls below and copies `window` onto its controls; boxes go through `desktop`.
// Everything runs on the user-interface thread.
class MainControl {
public:
    enum Mode : uint8_t { kPlaybackRunning = 0, kPlaybackIdle = 2, kLive = 5 };

    static constexpr const char* kVideoPassword = "mqv908172";
    static constexpr util::DateTime kAgeingDays = 0.0000578;   // about 5 s
    static constexpr util::DateTime kRefreshDays = 0.000347;   // about 30 s
    static constexpr util::DateTime kTreeRequestDays = 0.0007; // about 60.5 s
    static constexpr unsigned kIdleWarnSeconds = 240;
    static constexpr unsigned kIdleCloseSeconds = 300;
    static constexpr int kSyncAfterSeconds = 120;

    // What the controller is built from; tests give fakes.
    struct Parts {
        const util::Clock* clock = &util::systemClock();
        const media::PlayTimer::Counter* counter = &media::PlayTimer::systemCounter();
        media::SoundDeviceFactory sound;
        std::shared_ptr<api::HttpTransport> transport; // none: libcurl
        net::RTP_Cont::SocketFactory videoSocket;
        net::TwebSocketClint::SocketFactory pushSocket;
    };

    // `programDir` ends with "/": settings, log and manual live there.
    MainControl(Parts parts, std::string programDir);
    ~MainControl();
    MainControl(const MainControl&) = delete;
    MainControl& operator=(const MainControl&) = delete;

    // --- Owned objects, in the order of creation ---
    MultiPlayer view;
    api::HttpPostDataCont web;
    net::RTP_Cont video;
    net::WS_AVPBList listener;
    settings::ConfSet store;

    // --- Set by the window before FormCreate ---
    Desktop* desktop = nullptr;
    LoginWindow* login = nullptr;
    DrawSurface* surface = nullptr;
    // The picture area's size now (the surface may be resized at any time).
    std::function<void(uint16_t& height, uint16_t& width)> surfaceSize;
    // Ends the program's event loop (the login dialog closed before any vehicle data).
    std::function<void()> quit;
    // Once a second, the stats line (when asked for with --stats).
    std::function<void(const std::string& line)> OnStats;

    // --- What the window shows ---
    MainWindowState window;
    // False until the settings were read: the timer stays off and the window inert.
    bool timerEnabled = false;

    // --- Controller state ---
    uint8_t mode = kLive;
    std::string storageRoot;
    std::string manualPath;
    std::string selectedVehicle;
    media::SIMCH selectedKey;
    util::DateTime lastAgeing = 0;
    util::DateTime lastRefresh = 0;
    int32_t syncCounter = 0;
    bool idleWarned = false;
    // Beyond the specification, for control rooms.
    bool autoLogin = false;
    bool idleClosing = true;
    // Playback position and day (filled by playback; the file names of that mode use them).
    uint32_t playbackSecond = 0;
    std::string playbackDate;
    std::string patrolPlanTime;
    // The tree search.
    std::string searchText;
    size_t searchIndex = 0;

    // --- Handlers ---
    void FormCreate();
    bool ReadSettings();
    void Timer1Timer();
    // True when the window may close; then the shutdown has run.
    bool FormCloseQuery();
    void TB_playallClick(const api::TRNode* selected);
    void TB_stopallClick();
    void TB_viewClick();
    void TB_cartreeClick();
    void TB_fileClick();
    // TB_2pic .. TB_16pic: modes 5, 2, 6, 3, 4.
    void LayoutClick(uint8_t mode);
    void PageClick(bool forward);
    void CellClick(bool forward);
    void BT_carSYNClick();
    void BT_carAccFlushClick();
    void CarTree_objClick(const api::TRNode* node);
    void CarTree_objDblClick(const api::TRNode* node);

    // --- Callbacks of the owned objects (public for the tests) ---
    void onFrame(const media::RTPmeta& header, std::string_view body);
    void onReply(const media::SIMCH& key, uint16_t code, bool ok, const std::string& text);
    void onResult(int opid, bool ok, const std::string& message, const media::SIMCH& key);
    void onChannelEvent(const media::SIMCH& key, uint8_t code, uint8_t arg);
    bool MakeFilePath(std::string& out, int kind, const std::string& vehicleName,
                      const std::string& channelLabel, const std::string& extension,
                      util::DateTime time);

    bool vehicleDataLoaded() const { return web.started; }
    const LastPictures& lastPictures() const { return reopen; }

private:
    // Start-up and settings.
    bool prepareConnections(uint8_t kind, std::string& message);
    // The loop's once-a-second block.
    void secondStep(util::DateTime now);
    void refreshChannels();
    void idleCheck();
    void writeStats(util::DateTime now);
    // Live video.
    void openChannel(const media::SIMCH& key, const std::string& vehicleName,
                     const std::string& label, uint8_t cell, bool request);
    void loginResult(bool ok, const std::string& message);
    void vehicleDataResult(bool ok, const std::string& message);
    void reopenLastPictures();
    void saveLastPictures();
    void layoutNow(uint8_t newMode);
    void setStatus(const media::SIMCH& key, const std::string& text);
    void collectTerminals(const api::TRNode& from, std::set<std::string>& sims) const;

    const util::Clock& clock;
    const media::PlayTimer::Counter& counter;
    std::string programDir;
    media::PlayTimer secondClock;
    LoopStats stats;
    LastPictures reopen;
    bool reopenPending = false;
    int tickDepth = 0;
    bool nestedTick = false;
};

} // namespace ui
