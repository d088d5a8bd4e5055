#include "api/LoginDialog.h"

#include "api/HttpPostDataCont.h"
#include "settings/ConfSet.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace api {

namespace {

const std::string& kKindKey() {
    return "平台名称"_gbk;
}

} // namespace

LoginDialog::LoginDialog()
    : kinds{"综合平台"_gbk, "出租车平台"_gbk, "网约车平台"_gbk}, message("Tavrina") {}

void LoginDialog::setClient(HttpPostDataCont* client) {
    web = client;
    if (!web) return;
    web->log.logOn = logSwitch;
    if (!logDirectory.empty()) web->log.setDirectory(logDirectory);
    setSaveBodies();
}

void LoginDialog::setLog(bool on, const std::string& directory) {
    logSwitch = on;
    logDirectory = directory;
    logFile = directory + "log.txt";
    if (!web) return;
    web->log.logOn = on;
    web->log.setDirectory(directory);
}

void LoginDialog::setSaveBodies() {
    if (web) web->log.saveBodies = saveUser;
}

void LoginDialog::prefill(const std::string& storedName, const std::string& storedPassword) {
    name = storedName;
    password = storedPassword;
    saveUser = !storedPassword.empty();
    setSaveBodies();
}

void LoginDialog::show() {
    kindIndex = 0;
    if (settings) {
        const settings::ConfVal* def = settings->Find(kKindKey());
        if (def && !def->dictionary.empty()) {
            kinds.clear();
            for (const auto& [key, text] : def->dictionary)
                kinds.push_back(text);
        }
        uint32_t stored = 0;
        if (settings->Find(kKindKey()) && settings->GetInt(kKindKey(), stored) &&
            stored < kinds.size())
            kindIndex = static_cast<int>(stored);
    }
    showing = true;
}

bool LoginDialog::storeLogin(bool remember) {
    if (!settings) return true;
    std::string failure;
    const auto note = [&](bool ok) {
        if (!ok && failure.empty()) failure = settings->Message;
    };
    note(settings->SetStr("用户名"_gbk, remember ? name : std::string()));
    note(settings->SetStr("密码"_gbk, remember ? password : std::string()));
    if (remember) note(settings->SetInt(kKindKey(), static_cast<uint32_t>(kindIndex)));
    note(settings->Save());
    if (failure.empty()) return true;
    message = failure;
    return false;
}

void LoginDialog::loginPressed() {
    if (!loginEnabled) return;
    if (name.empty() || password.empty()) {
        message = "用户名密码不能为空."_gbk;
        return;
    }
    if (saveUser) storeLogin(true);
    const auto kind = static_cast<uint8_t>(kindIndex);
    std::string refusal;
    if (prepareConnections && !prepareConnections(kind, refusal)) {
        message = refusal;
        return;
    }
    message = "正在登陆..."_gbk;
    loginEnabled = false;
    if (web) web->login(kind, name, password);
}

void LoginDialog::saveUserChanged(bool ticked) {
    saveUser = ticked;
    setSaveBodies();
    if (!showing) return;
    if (!ticked) {
        name.clear();
        password.clear();
    }
    storeLogin(ticked);
}

bool LoginDialog::closeEndsApplication() const {
    return web && !web->started;
}

} // namespace api
