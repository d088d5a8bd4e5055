#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoginFixture.h"
#include "api/CJvalue.h"
#include "api/LoginDialog.h"

using api::LoginDialog;
using util::gbkToUtf8;
using util::utf8ToGbk;

namespace {

class Login : public ::testing::Test, public apitest::LoginFixture {
protected:
    Login() : LoginFixture(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        form.settings = &store;
        form.setClient(client.get());
    }
    std::vector<std::string> kindTexts() const {
        std::vector<std::string> out;
        for (const std::string& k : form.kinds)
            out.push_back(gbkToUtf8(k));
        return out;
    }
    LoginDialog form;
};

TEST_F(Login, PlatformKindsAndChoiceFromTheStore) {
    const std::vector<std::string> defaults = {"综合平台", "出租车平台", "网约车平台"};
    struct Case {
        std::vector<std::string> options;
        uint32_t stored;
        std::vector<std::string> kinds;
        int chosen;
    };
    const std::vector<Case> cases = {
        {{}, 0, defaults, 0},
        {{}, 2, defaults, 2},
        {{"甲", "乙", "丙", "丁"}, 3, {"甲", "乙", "丙", "丁"}, 3},
        {{"甲", "乙", "丙"}, 5, {"甲", "乙", "丙"}, 0},
        {{"甲"}, 1, {"甲"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        kinds(c.options, c.stored);
        LoginDialog fresh;
        fresh.settings = &store;
        fresh.kindIndex = 1;
        fresh.show();
        form = fresh;
        EXPECT_EQ(kindTexts(), c.kinds);
        EXPECT_EQ(form.kindIndex, c.chosen);
        EXPECT_TRUE(form.showing);
    }
    // A stored choice that is not a number, or no store at all: the first kind.
    define("平台名称", settings::kConfText, std::string("\0\1x", 3));
    form.kindIndex = 2;
    form.show();
    EXPECT_EQ(form.kindIndex, 0);
    LoginDialog bare;
    bare.kindIndex = 2;
    bare.show();
    EXPECT_EQ(bare.kindIndex, 0);
}

TEST_F(Login, LoginPressed) {
    struct Case {
        const char* what;
        std::string name, password;
        bool prepared;
        const char* message;
        bool sent;
    };
    const std::vector<Case> cases = {
        {"no name", "", "pw", true, "用户名密码不能为空.", false},
        {"no password", "u", "", true, "用户名密码不能为空.", false},
        {"connections refused", "u", "pw", false, "无[出租车WS监听IP]参数", false},
        {"sent", "张三", "pw", true, "正在登陆...", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.loginEnabled = true;
        form.name = utf8ToGbk(c.name);
        form.password = c.password;
        form.kindIndex = 1;
        std::vector<int> asked;
        form.prepareConnections = [&](uint8_t kind, std::string& message) {
            asked.push_back(kind);
            if (!c.prepared) message = utf8ToGbk("无[出租车WS监听IP]参数");
            return c.prepared;
        };
        const size_t before = fake->sent().size();
        form.loginPressed();
        ASSERT_TRUE(apitest::drain(*client));
        EXPECT_EQ(gbkToUtf8(form.message), c.message);
        EXPECT_EQ(form.loginEnabled, !c.sent);
        EXPECT_EQ(fake->sent().size(), before + (c.sent ? 1 : 0));
        EXPECT_EQ(asked.size(), c.name.empty() || c.password.empty() ? 0u : 1u);
        if (c.sent) {
            api::CJvalue body;
            ASSERT_TRUE(body.parse(fake->sent().back().body));
            EXPECT_EQ(body.get("projectType").asNumber(), 1);
            EXPECT_EQ(body.get("username").text(), "张三");
            EXPECT_EQ(body.get("password").text(), "pw");
        }
    }
    // While the login runs, the button does nothing.
    const size_t before = fake->sent().size();
    form.loginPressed();
    EXPECT_EQ(fake->sent().size(), before);
    // Without a client the dialog goes through the motions and sends nothing.
    LoginDialog alone;
    alone.name = "u";
    alone.password = "p";
    alone.loginPressed();
    EXPECT_EQ(gbkToUtf8(alone.message), "正在登陆...");
    EXPECT_FALSE(alone.loginEnabled);
}

TEST_F(Login, SaveBoxRemembersAndForgets) {
    form.show();
    form.name = "demo";
    form.password = "secret";
    form.kindIndex = 2;
    form.saveUserChanged(true);
    EXPECT_TRUE(client->log.saveBodies);
    auto s = reread();
    ASSERT_TRUE(s.loaded);
    EXPECT_EQ(std::tie(s.name, s.password, s.kind),
              std::make_tuple(std::string("demo"), std::string("secret"), 2u));

    form.kindIndex = 0;
    form.saveUserChanged(false);
    EXPECT_FALSE(client->log.saveBodies);
    EXPECT_TRUE(form.name.empty() && form.password.empty());
    s = reread();
    EXPECT_EQ(std::tie(s.name, s.password, s.kind),
              std::make_tuple(std::string(), std::string(), 2u));

    // A ticked box stores the login again when it is sent.
    form.saveUser = true;
    form.name = "u2";
    form.password = "p2";
    form.kindIndex = 1;
    form.loginPressed();
    s = reread();
    EXPECT_EQ(std::tie(s.name, s.password, s.kind),
              std::make_tuple(std::string("u2"), std::string("p2"), 1u));
}

TEST_F(Login, SaveBoxOutsideTheDialogOrWithoutTheKeys) {
    // The main window ticks the box before showing the dialog: nothing is written then.
    form.prefill("demo", "secret");
    EXPECT_TRUE(form.saveUser);
    EXPECT_TRUE(client->log.saveBodies);
    form.saveUserChanged(false);
    EXPECT_FALSE(reread().loaded);
    EXPECT_EQ(form.name, "demo");
    form.prefill("demo", "");
    EXPECT_FALSE(form.saveUser);

    // A store without the keys says so in the message line.
    store.params.erase(utf8ToGbk("用户名"));
    form.show();
    form.saveUserChanged(true);
    EXPECT_EQ(gbkToUtf8(form.message), "无[用户名]参数");
    EXPECT_TRUE(reread().loaded); // the rest was saved
}

TEST_F(Login, ClosingBeforeTheDataEndsTheApplication) {
    EXPECT_TRUE(form.closeEndsApplication());
    client->started = true;
    EXPECT_FALSE(form.closeEndsApplication());
    form.setClient(nullptr);
    EXPECT_FALSE(form.closeEndsApplication());
}

TEST_F(Login, RequestLogSwitchAndPath) {
    form.setLog(true, dir.string() + "/");
    EXPECT_TRUE(form.logOn());
    EXPECT_EQ(form.logPath(), dir.string() + "/log.txt");
    EXPECT_TRUE(client->log.logOn);
    EXPECT_EQ(client->log.path(), form.logPath());
    // A client given later takes the same.
    api::HttpPostDataCont other(fake);
    form.setClient(&other);
    EXPECT_TRUE(other.log.logOn);
    EXPECT_EQ(other.log.path(), form.logPath());
}

} // namespace
