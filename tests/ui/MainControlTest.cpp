// The main controller on fakes: start-up and the settings, login and vehicle data, opening
// live video, the video server's replies, the platform's results, the channel events, the idle
// rule, shutdown, and what it adds for control rooms.

#include "ControllerFixture.h"

namespace {

using namespace tavrina_test;
using ui::MainControl;

media::SIMCH key1(uint8_t channel) {
    return {kSim1, channel};
}

TEST_F(Controller, SettingsReadingStopsAtTheFirstMissingParameter) {
    struct Case {
        const char* name;
        std::function<void(settings::ConfSet&)> change;
        const char* box; // "" when the start-up succeeds
    };
    const Case cases[] = {
        {"complete", [](settings::ConfSet&) {}, ""},
        {"no user name or platform kind",
         [](settings::ConfSet& s) {
             s.params.erase("用户名"_gbk);
             s.params.erase("平台名称"_gbk);
         },
         ""},
        {"no command address", [](settings::ConfSet& s) { s.params.erase("POST_CMD_url"_gbk); },
         "出错: 无[POST_CMD_url]参数"},
        {"video port beyond 65535",
         [](settings::ConfSet& s) { s.SetInt("RTP服务器端口"_gbk, 70000u); },
         "出错: 提取[RTP服务器端口]参数值出错"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setting([](settings::ConfSet& s) { s.SetStr("POST_CMD_url"_gbk, "http://p/command"); });
        setting(c.change);
        desktop.boxes.clear();
        loginWindow.shown = 0;
        create();
        if (*c.box) {
            ASSERT_EQ(desktop.boxes, std::vector<std::string>{c.box});
            EXPECT_FALSE(control->timerEnabled);
            EXPECT_EQ(loginWindow.shown, 0);
        } else {
            EXPECT_TRUE(desktop.boxes.empty());
            EXPECT_TRUE(control->timerEnabled);
            EXPECT_EQ(loginWindow.shown, 1);
            EXPECT_EQ(control->web.cmdUrl, "http://p/command");
        }
        if (std::string(c.name) == "no command address") {
            EXPECT_EQ(control->web.dataUrl, "http://p/data/"); // read before the failure
        }
    }
    // Without any settings file: the store's message, and nothing else happens.
    std::filesystem::remove(home / "Zorvu.cfset");
    desktop.boxes.clear();
    create();
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"出错: 设置文件不存在"});
    EXPECT_FALSE(control->timerEnabled);
}

TEST_F(Controller, LoginLoadsTheVehicleDataAndStartsTheVideoServer) {
    logIn();
    EXPECT_EQ(util::gbkToUtf8(control->window.userCaption), "demo");
    EXPECT_EQ(loginWindow.messages.front(), "登录成功");
    EXPECT_NE(std::find(loginWindow.messages.begin(), loginWindow.messages.end(),
                        "下载车辆资料，请耐心等候..."),
              loginWindow.messages.end());
    EXPECT_EQ(loginWindow.messages.back(), "获取车辆资料成功");
    EXPECT_EQ(loginWindow.closed, 1);
    EXPECT_EQ(util::gbkToUtf8(control->window.carSynCaption), "车辆资料更新成功");
    ASSERT_EQ(videoSockets.size(), 1u);
    // The status synchronisation follows within a second of the data.
    ASSERT_TRUE(until([&] { return !platform->sent("accstatus").empty(); }));
    ASSERT_TRUE(until([&] { return control->syncCounter == 1; }));
    EXPECT_EQ(util::gbkToUtf8(control->window.accFlushCaption), "状态同步成功");

    // Vehicle data a second time: neither the view nor the video server starts again.
    clock.advanceMs(61000);
    control->BT_carSYNClick();
    EXPECT_EQ(util::gbkToUtf8(control->window.carSynCaption), "车辆资料更新中...");
    ASSERT_TRUE(until([&] {
        return platform->sent("carTree").size() == 2 && control->web.pendingRequests() == 0;
    }));
    EXPECT_EQ(videoSockets.size(), 1u);
    EXPECT_EQ(loginWindow.closed, 2);
    // Within 60 s of the last fetch the button does nothing.
    control->BT_carSYNClick();
    tick();
    EXPECT_EQ(platform->sent("carTree").size(), 2u);
}

TEST_F(Controller, AFailedLoginEnablesTheButtonAgain) {
    platform->answer("login", R"({"code":1,"msg":"用户名或密码错误"})");
    create();
    loginWindow.dialog.name = "demo";
    loginWindow.dialog.password = "x";
    loginWindow.dialog.loginPressed();
    EXPECT_FALSE(loginWindow.dialog.loginEnabled);
    ASSERT_TRUE(until([&] { return loginWindow.dialog.loginEnabled; }));
    EXPECT_EQ(util::gbkToUtf8(control->window.userCaption), "登录失败");
    EXPECT_EQ(loginWindow.messages.back(), "用户名或密码错误");
}

TEST_F(Controller, OpeningATerminalFillsTheFreeCellsOfThePage) {
    logIn();
    videoLogin();
    control->LayoutClick(2); // four pictures
    control->view.Open({kSim2, 1}, "x", "CH1 ", 0, false, 8000, 16, 1);
    control->TB_playallClick(node("粤B1", api::kVehicle)); // four channels, three cells
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"提示: 空闲画面不足，无法打开所有视频"});
    EXPECT_EQ(requests(), (std::vector<std::string>{"1 13900000001:1 00", "1 13900000001:2 00",
                                                    "1 13900000001:3 00"}));
    EXPECT_EQ(status(key1(1)), "建立通道...");
    EXPECT_EQ(status(key1(4)), "(none)");
    EXPECT_EQ(control->selectedKey, key1(0));

    // The page is full now.
    desktop.boxes.clear();
    control->TB_playallClick(node("CH4 ", api::kChannel, "粤B1"));
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"提示: 无空闲画面"});
}

TEST_F(Controller, TheServersOpenReplyDecidesOnLivePlay) {
    logIn();
    videoLogin();
    struct Case {
        const char* text;
        const char* status;
        size_t livePlays;
    };
    for (const Case& c : {Case{"0", "设备连接...", 1}, Case{"7", "等待码流...", 0}}) {
        SCOPED_TRACE(c.text);
        control->TB_stopallClick();
        const size_t before = platform->commands("1");
        control->TB_playallClick(node("CH2 ", api::kChannel, "粤B1"));
        videoSocket()->deliver(reply(net::RTP_Cont::kOpen, true, c.text, key1(2)));
        EXPECT_EQ(status(key1(2)), c.status);
        EXPECT_EQ(control->view.players().at(key1(2))->waitSeconds, 10);
        ASSERT_TRUE(until([&] { return control->web.pendingRequests() == 0; }));
        EXPECT_EQ(platform->commands("1") - before, c.livePlays);
    }
    // A failure reply's text becomes the status.
    videoSocket()->deliver(reply(net::RTP_Cont::kOpen, false, "通道不存在"_gbk, key1(2)));
    EXPECT_EQ(status(key1(2)), "通道不存在");
}

TEST_F(Controller, OpeningTheSameChannelTwiceAsksTheServerAgain) {
    logIn();
    videoLogin();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    EXPECT_EQ(control->view.players().size(), 1u);
    EXPECT_EQ(requests(), (std::vector<std::string>{"1 13900000001:1 00", "1 13900000001:1 00"}));
}

TEST_F(Controller, OfflineTerminalsAskFirst) {
    logIn();
    videoLogin();
    desktop.confirm = false;
    control->TB_playallClick(node("粤B2", api::kVehicle));
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"提示: 设备上报掉线，尝试看？"});
    EXPECT_TRUE(control->view.AllEmpty());
    desktop.confirm = true;
    control->TB_playallClick(node("粤B2", api::kVehicle));
    EXPECT_EQ(control->view.players().size(), 1u);
    // An organisation opens nothing.
    desktop.boxes.clear();
    control->TB_playallClick(node("公司", api::kCompany));
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(Controller, WithoutTheVideoServerTheRefusalStaysReadable) {
    logIn(); // the video server never answers
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    EXPECT_EQ(status(key1(1)), "视频服务器未连接");
}

TEST_F(Controller, ClosingAPictureAndTheServersCloseReply) {
    logIn();
    videoLogin();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    videoSocket()->sent.clear();
    control->TB_stopallClick();
    EXPECT_EQ(requests(), std::vector<std::string>{"2 13900000001:1 00"});
    videoSocket()->deliver(reply(net::RTP_Cont::kClose, true, "1", key1(1)));
    ASSERT_TRUE(until([&] { return platform->commands("4") == 1; }));
    videoSocket()->deliver(reply(net::RTP_Cont::kClose, true, "2", key1(1)));
    tick(5);
    EXPECT_EQ(platform->commands("4"), 1u); // somebody else still watches: the terminal goes on
}

TEST_F(Controller, ChannelEventsByMode) {
    logIn();
    videoLogin();
    struct Case {
        uint8_t mode;
        uint8_t code;
        const char* platformCommand; // operateType sent, "" for none
        const char* videoRequest;    // "" for none
    };
    const Case cases[] = {
        {MainControl::kLive, ui::EvClosed, "", "2 13900000001:3 00"},
        {MainControl::kLive, ui::EvStreamSwitch, "4", ""},
        {MainControl::kLive, ui::EvPause, "4", ""},
        {MainControl::kLive, ui::EvResume, "4", ""},
        {MainControl::kLive, ui::EvAudioOn, "1", ""},
        {MainControl::kLive, ui::EvAudioOff, "4", ""},
        {MainControl::kLive, ui::EvBufferHigh, "", "6 13900000001:3"},
        {MainControl::kLive, ui::EvBufferLow, "", "6 13900000001:3"},
        {MainControl::kPlaybackRunning, ui::EvClosed, "5", "2 13900000001:3 00"},
        {MainControl::kPlaybackRunning, ui::EvStreamSwitch, "", ""},
        {MainControl::kPlaybackRunning, ui::EvPause, "5", ""},
        {MainControl::kPlaybackRunning, ui::EvResume, "5", ""},
        {MainControl::kPlaybackRunning, ui::EvAudioOn, "", ""},
        {MainControl::kPlaybackRunning, ui::EvBufferHigh, "", "6 13900000001:3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.code));
        control->mode = c.mode;
        videoSocket()->sent.clear();
        platform->posts.clear();
        control->onChannelEvent(key1(3), c.code, 1);
        ASSERT_TRUE(until([&] { return control->web.pendingRequests() == 0; }));
        const std::vector<std::string> sent = platform->sent("command");
        if (*c.platformCommand) {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_NE(sent[0].find(std::string("\"operateType\":\"") + c.platformCommand + "\""),
                      std::string::npos)
                << sent[0];
        } else {
            EXPECT_TRUE(sent.empty());
        }
        const std::vector<std::string> r = requests();
        EXPECT_EQ(r, *c.videoRequest ? std::vector<std::string>{c.videoRequest}
                                     : std::vector<std::string>{});
    }
}

TEST_F(Controller, FailedCommandsPutTheirMessageIntoTheStatus) {
    logIn();
    videoLogin();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    control->view.SetWait(key1(1), 10);
    control->onResult(api::HttpPostDataCont::kPlayLive, false, "设备未连接TCP服务！"_gbk, key1(1));
    EXPECT_EQ(status(key1(1)), "设备未连接TCP服务！");
    EXPECT_EQ(control->view.players().at(key1(1))->waitSeconds, 0);
    // A failed alarm upload is a box captioned with the channel label.
    control->onResult(api::HttpPostDataCont::kUploadAlarm, false, "上传失败"_gbk, key1(2));
    EXPECT_EQ(desktop.boxes.back(), "CH2 : 上传失败");
}

TEST_F(Controller, VideoServerLoginAndNotice) {
    logIn();
    videoLogin();
    control->TB_playallClick(node("粤B1", api::kVehicle));
    videoSocket()->sent.clear();
    // A new login (the server restarted): every picture asks again at once.
    videoSocket()->deliver(reply(net::RTP_Cont::kAnswer, true, "ok"));
    EXPECT_EQ(requests().size(), 4u);
    EXPECT_EQ(requests().front(), "1 13900000001:1 01");
    EXPECT_EQ(control->lastRefresh, clock.now());
    // The notice names the play server sent with live play.
    uint16_t seq = 0;
    videoSocket()->deliver(media::RTP1078Exp::BuildControlPacket(
        {}, util::BEPack().u16(5).u32(9000).str16("10.0.0.1").str16("vs-7").take(), seq));
    EXPECT_EQ(control->web.playServer, "vs-7");
}

TEST_F(Controller, OpenChannelsAreRefreshedEvery30Seconds) {
    logIn();
    videoLogin();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    videoSocket()->sent.clear();
    // The heartbeat keeps the connection; the server's silence is answered here.
    for (int s = 0; s < 29; ++s) {
        videoSocket()->deliver(reply(7, true, ""));
        tick(34);
    }
    EXPECT_TRUE(std::none_of(requests().begin(), requests().end(),
                             [](const std::string& r) { return r.rfind("1 ", 0) == 0; }));
    for (int s = 0; s < 3; ++s) {
        videoSocket()->deliver(reply(7, true, ""));
        tick(34);
    }
    const auto r = requests();
    EXPECT_EQ(std::count(r.begin(), r.end(), "1 13900000001:1 01"), 1);
}

TEST_F(Controller, IdleOperatorsAreWarnedThenThePicturesClose) {
    logIn();
    videoLogin();
    const auto second = [&] { tick(34); };
    // No pictures: no box however long.
    desktop.idle = 400;
    second();
    EXPECT_TRUE(desktop.boxes.empty());
    desktop.idle = 0;
    second();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    desktop.boxes.clear();
    desktop.idle = 250;
    second();
    second();
    EXPECT_EQ(desktop.boxes,
              std::vector<std::string>{"警告: 无活动，60秒后关闭视频，继续观看请点击确定"});
    desktop.idle = 301;
    second();
    EXPECT_TRUE(control->view.AllEmpty());
    EXPECT_EQ(desktop.boxes.size(), 1u);
}

TEST_F(Controller, AVideoWallKeepsItsPicturesWhenIdleClosingIsOff) {
    setting([](settings::ConfSet& s) { s.SetInt("无操作关闭视频"_gbk, 0u); });
    logIn();
    videoLogin();
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    desktop.idle = 1000;
    tick(34 * 3);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_FALSE(control->view.AllEmpty());
}

TEST_F(Controller, ExitAsksOnlyWhenLoggedIn) {
    create();
    EXPECT_TRUE(control->FormCloseQuery());
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_FALSE(control->timerEnabled);

    control.reset();
    logIn();
    desktop.yes = false;
    EXPECT_FALSE(control->FormCloseQuery());
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"提示: 是否要退出系统？"});
    EXPECT_TRUE(control->timerEnabled);
    desktop.yes = true;
    EXPECT_TRUE(control->FormCloseQuery());
    EXPECT_FALSE(control->timerEnabled);
}

TEST_F(Controller, AutoLoginWithAStoredLogin) {
    setting([](settings::ConfSet& s) {
        s.SetStr("用户名"_gbk, "demo");
        s.SetStr("密码"_gbk, "demo");
        s.SetInt("自动登录"_gbk, 1u);
    });
    create();
    ASSERT_TRUE(until([&] { return control->vehicleDataLoaded(); }));
    EXPECT_EQ(platform->sent("login").size(), 1u);

    // Without a stored password nothing goes by itself.
    control.reset();
    setting([](settings::ConfSet& s) { s.SetStr("密码"_gbk, ""); });
    create();
    tick(10);
    EXPECT_EQ(platform->sent("login").size(), 1u);
}

TEST_F(Controller, LastPicturesComeBackInTheirCells) {
    logIn();
    videoLogin();
    control->LayoutClick(3);
    control->view.Open(key1(2), "粤B1"_gbk, "CH2 ", 5, false, 8000, 16, 1);
    control->view.Open(key1(4), "粤B1"_gbk, "CH4 ", 7, false, 8000, 16, 1);
    control->view.Open({kSim1, 9}, "粤B1"_gbk, "CH9 ", 8, false, 8000, 16, 1); // not in the tree
    ASSERT_TRUE(control->FormCloseQuery());
    control.reset();
    videoSockets.clear();

    logIn();
    const auto& players = control->view.players();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players.at(key1(2))->cell, 5);
    EXPECT_EQ(players.at(key1(4))->cell, 7);
    EXPECT_EQ(control->view.mode, 3);
    EXPECT_EQ(status(key1(2)), "建立通道...");
    // Asked for as soon as the video server takes the login.
    ASSERT_TRUE(until([&] { return videoSocket() != nullptr && !videoSocket()->opens.empty(); }));
    videoSocket()->accept();
    videoSocket()->deliver(reply(net::RTP_Cont::kLogin, true, "c1"));
    videoSocket()->deliver(reply(net::RTP_Cont::kAnswer, true, "ok"));
    const auto r = requests();
    EXPECT_NE(std::find(r.begin(), r.end(), "1 13900000001:2 01"), r.end());
    EXPECT_NE(std::find(r.begin(), r.end(), "1 13900000001:4 01"), r.end());
}

TEST_F(Controller, StatsLineOncePerSecond) {
    logIn();
    std::vector<std::string> lines;
    control->OnStats = [&](const std::string& line) { lines.push_back(line); };
    control->TB_playallClick(node("CH1 ", api::kChannel, "粤B1"));
    tick(34 * 2);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.back().find("\"key\":\"00000000013900000001:1\""), std::string::npos);
    EXPECT_NE(lines.back().find("\"tick_ms\":{\"n\":"), std::string::npos);
}

TEST_F(Controller, TreeSelectionSetsTheKeyAndDeviceText) {
    logIn();
    struct Case {
        const char* name;
        uint8_t kind;
        const char* vehicle;
        media::SIMCH key;
    };
    const Case cases[] = {
        {"粤B1", api::kVehicle, "粤B1", key1(0)},
        {"00000000013900000001", api::kTerminal, "粤B1", key1(0)},
        {"CH3 ", api::kChannel, "粤B1", key1(3)},
        {"公司", api::kCompany, "", {}},
    };
    for (const Case& c : cases) {
        control->CarTree_objClick(node(c.name, c.kind));
        EXPECT_EQ(util::gbkToUtf8(control->selectedVehicle), c.vehicle) << c.name;
        EXPECT_EQ(util::gbkToUtf8(control->window.findText), c.vehicle) << c.name;
        EXPECT_EQ(control->selectedKey, c.key) << c.name;
    }
    // A double click on an organisation or an open vehicle opens nothing.
    control->CarTree_objDblClick(node("公司", api::kCompany));
    EXPECT_TRUE(control->view.AllEmpty());
    control->CarTree_objDblClick(node("CH3 ", api::kChannel, "粤B1"));
    EXPECT_EQ(control->view.players().size(), 1u);
}

TEST_F(Controller, StorageRootOpensOrAsksToBeSet) {
    create();
    control->TB_fileClick();
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], home.string() + "/media/");
    std::filesystem::remove_all(home / "media");
    control->TB_fileClick();
    EXPECT_EQ(desktop.boxes, std::vector<std::string>{"提示: 请设置截图录像存储路径！"});
}

} // namespace
