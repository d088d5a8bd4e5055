#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "GuiApp.h"
#include "LoginFixture.h"
#include "api/gui/Uformlogin.h"

using api::gui::TFormlogin;

namespace {

class LoginWindow : public ::testing::Test, public apitest::LoginFixture {
protected:
    LoginWindow() : LoginFixture(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        apitest::guiApp();
        kinds({"综合平台", "出租车平台", "网约车平台"}, 0);
        dialog = std::make_unique<TFormlogin>();
        dialog->logic().settings = &store;
        dialog->logic().setClient(client.get());
    }
    ~LoginWindow() override { dialog.reset(); }

    std::string panel() const { return dialog->Panel1->text().toStdString(); }
    // Typed key by key; Chinese text, which has no keys of its own, as an input method gives it.
    void type(QLineEdit* edit, const char* utf8) {
        edit->clear();
        const QString text = QString::fromUtf8(utf8);
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClicks(edit, QString(c));
            else
                edit->insert(QString(c));
        }
    }

    std::unique_ptr<TFormlogin> dialog;
};

TEST_F(LoginWindow, ControlsAndTexts) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_EQ(dialog->windowTitle().toStdString(), "登陆");
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    struct Control {
        const char* name;
        const char* text;
    };
    for (const Control& c : std::vector<Control>{{"Panel1", "Tavrina"},
                                                 {"Label3", "登录到"},
                                                 {"Label1", "用户名"},
                                                 {"Label2", "密  码"},
                                                 {"CB_saveuser", "保存"},
                                                 {"BT_login", "登陆"},
                                                 {"BT_logout", "退出"}}) {
        SCOPED_TRACE(c.name);
        QWidget* w = dialog->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        const QVariant text = w->property("text");
        EXPECT_EQ(text.toString().toStdString(), c.text);
    }
    ASSERT_NE(dialog->findChild<QComboBox*>("CB_ProjType"), nullptr);
    ASSERT_NE(dialog->findChild<QLineEdit*>("ED_name"), nullptr);
    EXPECT_EQ(dialog->CB_ProjType->count(), 3);
    EXPECT_EQ(dialog->CB_ProjType->currentText().toStdString(), "综合平台");
    QLineEdit* psw = dialog->findChild<QLineEdit*>("ED_psw");
    ASSERT_NE(psw, nullptr);
    EXPECT_EQ(psw->echoMode(), QLineEdit::Password);
    EXPECT_EQ(psw->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, psw), '*');
    type(dialog->ED_name, "demo");
    type(psw, "secret");
    apitest::screenshot(*dialog, "login");
}

TEST_F(LoginWindow, SaveBoxStoresTheThreeKeysAndForgets) {
    dialog->show();
    type(dialog->ED_name, "张三");
    type(dialog->ED_psw, "pw1");
    dialog->CB_ProjType->setCurrentIndex(2);
    dialog->CB_saveuser->click();
    Stored s = reread();
    ASSERT_TRUE(s.loaded);
    EXPECT_EQ(std::tie(s.name, s.password, s.kind),
              std::make_tuple(std::string("张三"), std::string("pw1"), 2u));
    EXPECT_TRUE(client->log.saveBodies);

    dialog->CB_ProjType->setCurrentIndex(1);
    dialog->CB_saveuser->click();
    EXPECT_TRUE(dialog->ED_name->text().isEmpty());
    EXPECT_TRUE(dialog->ED_psw->text().isEmpty());
    s = reread();
    EXPECT_EQ(std::tie(s.name, s.password, s.kind),
              std::make_tuple(std::string(), std::string(), 2u));
    EXPECT_FALSE(client->log.saveBodies);
}

TEST_F(LoginWindow, EnterInThePasswordBox) {
    dialog->show();
    type(dialog->ED_psw, "pw");
    QTest::keyClick(dialog->ED_psw, Qt::Key_Return);
    EXPECT_EQ(panel(), "用户名密码不能为空.");
    EXPECT_TRUE(dialog->BT_login->isEnabled());

    type(dialog->ED_name, "demo");
    // Enter in the name box logs nobody in.
    QTest::keyClick(dialog->ED_name, Qt::Key_Return);
    EXPECT_EQ(panel(), "用户名密码不能为空.");
    int prepared = -1;
    dialog->logic().prepareConnections = [&](uint8_t kind, std::string&) {
        prepared = kind;
        return true;
    };
    dialog->CB_ProjType->setCurrentIndex(1);
    QTest::keyClick(dialog->ED_psw, Qt::Key_Return);
    EXPECT_EQ(panel(), "正在登陆...");
    EXPECT_FALSE(dialog->BT_login->isEnabled());
    EXPECT_EQ(prepared, 1);
    ASSERT_TRUE(apitest::drain(*client));
    ASSERT_EQ(fake->sent().size(), 1u);
    EXPECT_NE(fake->sent()[0].body.find(R"("projectType":1)"), std::string::npos);
    // The main window hands the failure back; the button works again.
    dialog->setMessage(util::utf8ToGbk("用户名或密码错误"));
    dialog->setLoginEnabled(true);
    EXPECT_EQ(panel(), "用户名或密码错误");
    QTest::mouseClick(dialog->BT_login, Qt::LeftButton);
    EXPECT_EQ(panel(), "正在登陆...");
}

TEST_F(LoginWindow, PlatformKindsFromTheStore) {
    struct Case {
        std::vector<std::string> options;
        uint32_t stored;
        int chosen;
    };
    for (const Case& c : std::vector<Case>{{{"综合平台", "出租车平台", "网约车平台"}, 5, 0},
                                           {{"甲", "乙", "丙", "丁"}, 3, 3}}) {
        SCOPED_TRACE(c.stored);
        kinds(c.options, c.stored);
        dialog->hide();
        dialog->show();
        ASSERT_EQ(dialog->CB_ProjType->count(), static_cast<int>(c.options.size()));
        for (size_t i = 0; i < c.options.size(); ++i)
            EXPECT_EQ(dialog->CB_ProjType->itemText(static_cast<int>(i)).toStdString(),
                      c.options[i]);
        EXPECT_EQ(dialog->CB_ProjType->currentIndex(), c.chosen);
    }
}

TEST_F(LoginWindow, PrefilledBeforeShowingWritesNothing) {
    dialog->prefill("demo", "secret");
    EXPECT_EQ(dialog->ED_name->text().toStdString(), "demo");
    EXPECT_EQ(dialog->ED_psw->text().toStdString(), "secret");
    EXPECT_TRUE(dialog->CB_saveuser->isChecked());
    EXPECT_FALSE(reread().loaded);
    dialog->showCentred();
    const QRect screen = dialog->screen()->geometry();
    EXPECT_EQ(dialog->x(), (screen.width() - dialog->width()) / 2);
    EXPECT_EQ(dialog->y(), (screen.height() - dialog->height()) / 2);
}

// Closing by the exit button or by the window's close box before any vehicle data arrived ends
// the application; afterwards the dialog just closes.
TEST_F(LoginWindow, ClosingBeforeTheDataEndsTheApplication) {
    // The dialog is this program's only window: closing it must not end the loop by itself.
    QApplication::setQuitOnLastWindowClosed(false);
    for (bool button : {true, false}) {
        for (bool started : {false, true}) {
            SCOPED_TRACE(std::to_string(button) + std::to_string(started));
            client->started = started;
            dialog->show();
            QTimer::singleShot(0, dialog.get(), [&] {
                if (button)
                    dialog->BT_logout->click();
                else
                    dialog->close();
            });
            // Still running after the close: no end of the application.
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
            guard.start(300);
            EXPECT_EQ(QApplication::exec(), started ? 7 : 0);
            guard.stop();
            EXPECT_FALSE(dialog->isVisible());
        }
    }
}

} // namespace
