#pragma once

#include <string>

namespace api {
class LoginDialog;
}

namespace ui {

// The login dialog as the main controller drives it (texts GBK).
class LoginWindow {
public:
    virtual ~LoginWindow() = default;
    virtual api::LoginDialog& logic() = 0;
    virtual void setMessage(const std::string& text) = 0;
    virtual void setLoginEnabled(bool enabled) = 0;
    virtual void prefill(const std::string& name, const std::string& password) = 0;
    virtual void showCentred() = 0;
    virtual void closeDialog() = 0;
    virtual bool isShowing() const = 0;
    // As if the operator pressed the login button (auto login).
    virtual void pressLogin() = 0;
};

} // namespace ui
