#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace settings {
class ConfSet;
}

namespace api {

class HttpPostDataCont;

// The rules of the login dialog, free of any toolkit. The window copies what the operator
// typed into the control fields below, calls the operation of the event, and shows the fields
// again. All texts are GBK.
class LoginDialog {
public:
    LoginDialog();

    // --- Set by the main window ---
    settings::ConfSet* settings = nullptr;
    // Prepares the platform's connections for a platform kind; false with the reason.
    std::function<bool(uint8_t kind, std::string& message)> prepareConnections;
    // None: logins are not sent. The request log's switch and the save box go to its log.
    void setClient(HttpPostDataCont* client);
    HttpPostDataCont* client() const { return web; }
    // The setting "收发日志" and the program's directory, for the request log.
    void setLog(bool on, const std::string& directory);
    bool logOn() const { return logSwitch; }
    const std::string& logPath() const { return logFile; }
    // The stored name and password; a password ticks the save box.
    void prefill(const std::string& storedName, const std::string& storedPassword);

    // --- Controls ---
    std::vector<std::string> kinds; // CB_ProjType
    int kindIndex = 0;
    std::string name;     // ED_name
    std::string password; // ED_psw
    bool saveUser = false;
    std::string message; // Panel1
    bool loginEnabled = true;
    bool showing = false;

    // --- Events ---
    void show();
    void hide() { showing = false; }
    // BT_login, or Enter in ED_psw.
    void loginPressed();
    void saveUserChanged(bool ticked);
    // Closing the dialog before the vehicle data was first loaded ends the application.
    bool closeEndsApplication() const;

private:
    void setSaveBodies();
    // Writes the three stored keys (or empties the two texts) and saves; false with the
    // store's message.
    bool storeLogin(bool remember);

    HttpPostDataCont* web = nullptr;
    bool logSwitch = false;
    std::string logDirectory;
    std::string logFile;
};

} // namespace api
