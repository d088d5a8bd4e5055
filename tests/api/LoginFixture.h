#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeTransport.h"
#include "api/HttpPostDataCont.h"
#include "settings/ConfSet.h"
#include "util/BEPack.h"
#include "util/GbkText.h"

namespace apitest {

// A settings store on disk holding the login's three keys, and a client on a fake transport.
class LoginFixture {
public:
    explicit LoginFixture(const std::string& name) {
        dir = std::filesystem::temp_directory_path() /
              ("login-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        store.Setup(dir.string() + "/", "Zorvu");
        for (const char* key : {"用户名", "密码"})
            define(key, settings::kConfText, {});
        kinds({}, 0);
        client->dataUrl = "http://p/";
    }
    ~LoginFixture() { std::filesystem::remove_all(dir); }

    void define(const char* utf8Name, uint8_t type, std::string value) {
        settings::ConfVal v;
        v.category = util::utf8ToGbk("登录");
        v.name = util::utf8ToGbk(utf8Name);
        v.type = type;
        v.value = std::move(value);
        store.params[v.name] = v;
    }
    // "平台名称" with these options (UTF-8) and this stored index.
    void kinds(const std::vector<std::string>& options, uint32_t stored) {
        std::string value;
        util::BEPack(value).u32(stored);
        define("平台名称", settings::kConfDict, value);
        auto& dict = store.params[util::utf8ToGbk("平台名称")].dictionary;
        for (size_t i = 0; i < options.size(); ++i)
            dict[static_cast<uint8_t>(i)] = util::utf8ToGbk(options[i]);
    }

    // What a fresh store reads back from the file (UTF-8 texts, the kind as a number).
    struct Stored {
        std::string name, password;
        uint32_t kind = 99;
        bool loaded = false;
    };
    Stored reread() const {
        settings::ConfSet again;
        again.Setup(dir.string() + "/", "Zorvu");
        Stored s;
        s.loaded = again.Load();
        std::string n, p;
        again.GetStr(util::utf8ToGbk("用户名"), n);
        again.GetStr(util::utf8ToGbk("密码"), p);
        again.GetInt(util::utf8ToGbk("平台名称"), s.kind);
        s.name = util::gbkToUtf8(n);
        s.password = util::gbkToUtf8(p);
        return s;
    }

    std::filesystem::path dir;
    settings::ConfSet store;
    std::shared_ptr<FakeTransport> fake = std::make_shared<FakeTransport>();
    std::unique_ptr<api::HttpPostDataCont> client = std::make_unique<api::HttpPostDataCont>(fake);
};

} // namespace apitest
