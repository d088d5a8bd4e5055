#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "RecordingSurface.h"
#include "api/HttpTransport.h"
#include "api/LoginDialog.h"
#include "media/PlayTimer.h"
#include "media/RTP1078Exp.h"
#include "net/FakeTcpClient.h"
#include "settings/ConfSet.h"
#include "sound/FakeSoundDevice.h"
#include "ui/LoginWindow.h"
#include "ui/MainControl.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/Clock.h"
#include "util/GbkText.h"

namespace tavrina_test {

using namespace util::literals;

// The platform: answers each request by the last part of its address, records every body.
class FakePlatform : public api::HttpTransport {
public:
    api::HttpResult post(const std::string& url, const std::string& body,
                         const std::atomic<bool>&) override {
        std::lock_guard lock(mutex);
        const std::string what = url.substr(url.find_last_of('/') + 1);
        posts.push_back({what, body});
        const auto it = answers.find(what);
        return it != answers.end() ? api::HttpResult{true, 200, it->second}
                                   : api::HttpResult{true, 200, R"({"code":0,"msg":"ok"})"};
    }
    void answer(const std::string& what, const std::string& body) {
        std::lock_guard lock(mutex);
        answers[what] = body;
    }
    // Bodies sent to `what` (UTF-8), in order.
    std::vector<std::string> sent(const std::string& what) {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const auto& [w, b] : posts)
            if (w == what) out.push_back(b);
        return out;
    }
    // Media commands with this operateType.
    size_t commands(const std::string& operateType) {
        size_t n = 0;
        for (const std::string& b : sent("command"))
            n += b.find("\"operateType\":\"" + operateType + "\"") != std::string::npos;
        return n;
    }

    std::mutex mutex;
    std::map<std::string, std::string> answers;
    std::vector<std::pair<std::string, std::string>> posts;
};

// Boxes as "caption: text" (UTF-8), with scripted answers and an idle counter.
class FakeDesktop : public ui::Desktop {
public:
    void Inform(std::string_view caption, std::string_view text) override { box(caption, text); }
    void Error(std::string_view caption, std::string_view text) override { box(caption, text); }
    bool ConfirmError(std::string_view caption, std::string_view text) override {
        box(caption, text);
        return confirm;
    }
    bool AskYesNo(std::string_view caption, std::string_view text) override {
        box(caption, text);
        return yes;
    }
    unsigned IdleSeconds() override { return idle; }
    void OpenPath(const std::string& path) override { opened.push_back(util::gbkToUtf8(path)); }

    void box(std::string_view caption, std::string_view text) {
        boxes.push_back(util::gbkToUtf8(std::string(caption)) + ": " +
                        util::gbkToUtf8(std::string(text)));
        if (onBox) onBox();
    }

    std::vector<std::string> boxes;
    std::vector<std::string> opened;
    bool confirm = true;
    bool yes = true;
    unsigned idle = 0;
    std::function<void()> onBox; // runs while the box is "open"
};

// The login dialog without a window: the real rules, the window's side recorded.
class FakeLoginWindow : public ui::LoginWindow {
public:
    api::LoginDialog& logic() override { return dialog; }
    void setMessage(const std::string& text) override { messages.push_back(util::gbkToUtf8(text)); }
    void setLoginEnabled(bool enabled) override { dialog.loginEnabled = enabled; }
    void prefill(const std::string& name, const std::string& password) override {
        dialog.prefill(name, password);
    }
    void showCentred() override {
        ++shown;
        dialog.show();
    }
    void closeDialog() override {
        ++closed;
        dialog.hide();
    }
    bool isShowing() const override { return dialog.showing; }
    void pressLogin() override { dialog.loginPressed(); }

    api::LoginDialog dialog;
    std::vector<std::string> messages;
    int shown = 0, closed = 0;
};

inline const char* kLoginReply = R"({"code":0,"msg":"ok","obj":{"deptId":1,"id":2}})";
// Two vehicles: 粤B1 with one terminal of four channels, 粤B2 offline with one channel.
inline const char* kFleetReply = R"({"code":0,"msg":"","obj":[
 {"id":"o1","pId":"","dept":1,"name":"公司"},
 {"id":"v1","pId":"o1","dept":3,"name":"粤B1","isOnline":1,"sjhm":"13900000001"},
 {"id":"c1","pId":"v1","dept":4,"name":"前","sptd":1,"sjhm":"13900000001"},
 {"id":"c2","pId":"v1","dept":4,"name":"后","sptd":2,"sjhm":"13900000001"},
 {"id":"c3","pId":"v1","dept":4,"name":"左","sptd":3,"sjhm":"13900000001"},
 {"id":"c4","pId":"v1","dept":4,"name":"右","sptd":4,"sjhm":"13900000001"},
 {"id":"v2","pId":"o1","dept":3,"name":"粤B2","isOnline":0,"sjhm":"13900000002"},
 {"id":"c5","pId":"v2","dept":4,"name":"前","sptd":1,"sjhm":"13900000002"}]})";
inline const std::string kSim1 = "00000000013900000001";
inline const std::string kSim2 = "00000000013900000002";

// The main controller on fakes of everything it drives: a platform answering from a table,
// video-server sockets the test speaks for, a scripted sound device, a recording surface, a
// fake clock, a settings file in a temporary program directory.
class Controller : public ::testing::Test {
protected:
    Controller() {
        home = std::filesystem::temp_directory_path() /
               ("tavrina-control-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home / "media");
        std::filesystem::copy_file(std::string(TAVRINA_BINARY_DIR) + "/bin/Zorvu.cfset",
                                   home / "Zorvu.cfset");
        platform->answer("login", kLoginReply);
        platform->answer("carTree", kFleetReply);
        platform->answer("accstatus", R"({"code":0,"msg":"","obj":[]})");
        setting([](settings::ConfSet& s) {
            s.SetStr("截图录像保存目录"_gbk, "./media/");
            s.SetStr("POST_Data_url"_gbk, "http://p/data/");
            s.SetStr("POST_CMD_url"_gbk, "http://p/command");
        });
    }
    ~Controller() override {
        control.reset();
        std::filesystem::remove_all(home);
    }

    // Changes the settings file before the controller reads it.
    void setting(const std::function<void(settings::ConfSet&)>& change) {
        settings::ConfSet s;
        s.Setup(home.string() + "/", "Zorvu");
        ASSERT_TRUE(s.Load());
        change(s);
        ASSERT_TRUE(s.Save());
    }

    // Builds the controller and runs its start-up.
    void create() {
        ui::MainControl::Parts parts;
        parts.clock = &clock;
        parts.counter = &counter;
        parts.sound = FakeSoundDevice::factory(sound);
        parts.transport = platform;
        parts.videoSocket = [this] {
            auto s = std::make_unique<FakeTcpClient>();
            videoSockets.push_back(s.get());
            s->onDestroy = [this](const FakeTcpClient& f) { std::erase(videoSockets, &f); };
            return s;
        };
        parts.pushSocket = [] { return std::make_unique<FakeTcpClient>(); };
        control = std::make_unique<ui::MainControl>(parts, home.string() + "/");
        control->desktop = &desktop;
        control->login = &loginWindow;
        control->surface = &surface;
        control->view.icons = &icons;
        control->surfaceSize = [](uint16_t& h, uint16_t& w) {
            h = 700;
            w = 1000;
        };
        control->FormCreate();
    }

    // One tick of the 30 ms timer, with the platform's answers waited for.
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advanceMs(30);
            control->web.waitCompletions(0);
            control->Timer1Timer();
        }
    }
    // Ticks until `done` or 10 s of fake time; the platform's workers are real threads.
    bool until(const std::function<bool()>& done) {
        for (int i = 0; i < 333 && !done(); ++i) {
            while (control->web.pendingRequests() > 0 && control->web.waitCompletions(200) &&
                   control->web.runCompletions() > 0) {
            }
            tick();
        }
        return done();
    }

    // Logs in through the dialog and waits for the vehicle data.
    void logIn() {
        create();
        loginWindow.dialog.name = "demo";
        loginWindow.dialog.password = "demo";
        loginWindow.dialog.loginPressed();
        ASSERT_TRUE(until([&] { return control->vehicleDataLoaded(); }));
    }

    FakeTcpClient* videoSocket() { return videoSockets.empty() ? nullptr : videoSockets.back(); }

    // The video server's side: accepts the connection and the login.
    void videoLogin() {
        ASSERT_TRUE(
            until([&] { return videoSocket() != nullptr && !videoSocket()->opens.empty(); }));
        videoSocket()->accept();
        videoSocket()->deliver(reply(net::RTP_Cont::kLogin, true, "c1"));
        videoSocket()->deliver(reply(net::RTP_Cont::kAnswer, true, "ok"));
        ASSERT_TRUE(control->video.loggedIn());
        videoSocket()->sent.clear();
    }

    static std::string reply(uint16_t code, bool ok, const std::string& text,
                             const media::SIMCH& key = {}) {
        uint16_t seq = 0;
        util::BEPack body;
        body.u16(0).u16(code).u8(ok ? 1 : 0).str16(text);
        return media::RTP1078Exp::BuildControlPacket(key, body.bytes(), seq);
    }

    // Control messages the client sent to the video server since the last clear, as
    // "code sim:channel" (and the two flag bytes for opens).
    std::vector<std::string> requests() {
        std::vector<std::string> out;
        if (videoSocket() == nullptr) return out;
        media::RTP1078Exp exp;
        exp.OnPacket = [&](const media::RTP_data& p) {
            util::BEUnpack in(std::string_view(p.data).substr(p.data.size() - p.meta.length));
            uint16_t code = 0;
            uint8_t a = 0, b = 0;
            in.u16(code);
            std::string line = std::to_string(code) + " " +
                               std::to_string(std::stoll("0" + p.meta.simch.sim)) + ":" +
                               std::to_string(p.meta.simch.channel);
            if ((code == 1 || code == 2) && in.u8(a) && in.u8(b))
                line += " " + std::to_string(a) + std::to_string(b);
            out.push_back(line);
        };
        exp.Feed(videoSocket()->sent + "pad!");
        return out;
    }

    // A tree node by its record's name, below the node named `under` when one is given.
    const api::TRNode* node(const std::string& utf8Name, uint8_t kind,
                            const char* under = nullptr) {
        const api::TRNode* from = &control->web.tree.root;
        if (under != nullptr) from = node(under, api::kVehicle);
        if (from == nullptr) return nullptr;
        std::vector<const api::TRNode*> stack{from};
        while (!stack.empty()) {
            const api::TRNode* n = stack.back();
            stack.pop_back();
            if (n->data && n->kind == kind && n->data->name == util::utf8ToGbk(utf8Name)) return n;
            for (const api::TRNode* c = n->firstChild; c; c = c->nextSibling)
                stack.push_back(c);
        }
        return nullptr;
    }

    std::string status(const media::SIMCH& key) {
        const auto it = control->view.players().find(key);
        return it == control->view.players().end() ? "(none)"
                                                   : util::gbkToUtf8(it->second->statusText);
    }

    std::filesystem::path home;
    util::FakeClock clock{0, util::encodeDateTime(2026, 5, 1, 12, 0, 0)};
    media::ClockCounter counter{clock};
    std::shared_ptr<FakeSoundScript> sound = std::make_shared<FakeSoundScript>();
    std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
    std::vector<FakeTcpClient*> videoSockets;
    RecordingSurface surface;
    FakeIcons icons;
    FakeDesktop desktop;
    FakeLoginWindow loginWindow;
    std::unique_ptr<ui::MainControl> control;
};

} // namespace tavrina_test
