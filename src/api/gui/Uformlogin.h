#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "api/LoginDialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace api::gui {

// The login dialog: platform kind, user name and password, the save box, log in and exit.
// The rules are LoginDialog's; this window only moves texts between it and the controls.
class TFormlogin : public QDialog {
    Q_OBJECT

public:
    explicit TFormlogin(QWidget* parent = nullptr);

    LoginDialog& logic() { return form; }

    // For the main window: the message line, the login button, and the stored login.
    void setMessage(const std::string& gbkText);
    void setLoginEnabled(bool enabled);
    void prefill(const std::string& name, const std::string& password);
    // Placed in the middle of the screen, then shown.
    void showCentred();

    // What ending the application means; quits the application's event loop unless replaced.
    std::function<void()> endApplication;

    QLabel* Panel1;
    QLabel* Label3;
    QComboBox* CB_ProjType;
    QLabel* Label1;
    QLineEdit* ED_name;
    QLabel* Label2;
    QLineEdit* ED_psw;
    QCheckBox* CB_saveuser;
    QPushButton* BT_login;
    QPushButton* BT_logout;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BT_loginClick();
    void BT_logoutClick();
    void CB_saveuserClick(bool ticked);
    void readControls();
    void showState();

    LoginDialog form;
};

} // namespace api::gui
