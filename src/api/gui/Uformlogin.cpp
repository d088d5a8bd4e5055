#include "api/gui/Uformlogin.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "util/GbkText.h"

namespace api::gui {

namespace {

QString fromGbk(const std::string& text) {
    return QString::fromStdString(util::gbkToUtf8(text));
}

std::string toGbk(const QString& text) {
    return util::utf8ToGbk(text.toStdString());
}

// Password characters show as "*".
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TFormlogin::TFormlogin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      endApplication([] { QCoreApplication::quit(); }) {
    setObjectName("TFormlogin");
    setWindowTitle(QString::fromUtf8("登陆"));

    Panel1 = new QLabel(this);
    Panel1->setObjectName("Panel1");
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setMinimumHeight(28);
    Label3 = new QLabel(QString::fromUtf8("登录到"), this);
    Label3->setObjectName("Label3");
    CB_ProjType = new QComboBox(this);
    CB_ProjType->setObjectName("CB_ProjType");
    Label1 = new QLabel(QString::fromUtf8("用户名"), this);
    Label1->setObjectName("Label1");
    ED_name = new QLineEdit(this);
    ED_name->setObjectName("ED_name");
    Label2 = new QLabel(QString::fromUtf8("密  码"), this);
    Label2->setObjectName("Label2");
    ED_psw = new QLineEdit(this);
    ED_psw->setObjectName("ED_psw");
    ED_psw->setEchoMode(QLineEdit::Password);
    auto* stars = new StarPasswordStyle;
    stars->setParent(ED_psw);
    ED_psw->setStyle(stars);
    CB_saveuser = new QCheckBox(QString::fromUtf8("保存"), this);
    CB_saveuser->setObjectName("CB_saveuser");
    BT_login = new QPushButton(QString::fromUtf8("登陆"), this);
    BT_login->setObjectName("BT_login");
    BT_logout = new QPushButton(QString::fromUtf8("退出"), this);
    BT_logout->setObjectName("BT_logout");
    // Enter logs in from the password box only, as the buttons say nothing about it.
    BT_login->setAutoDefault(false);
    BT_logout->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 12);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(Panel1, 0, 0, 1, 2);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(CB_ProjType, 1, 1);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(ED_name, 2, 1);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(ED_psw, 3, 1);
    grid->addWidget(CB_saveuser, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BT_login);
    buttons->addWidget(BT_logout);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setColumnMinimumWidth(1, 190);

    connect(BT_login, &QPushButton::clicked, this, [this] { BT_loginClick(); });
    connect(BT_logout, &QPushButton::clicked, this, [this] { BT_logoutClick(); });
    connect(ED_psw, &QLineEdit::returnPressed, this, [this] { BT_loginClick(); });
    connect(CB_saveuser, &QCheckBox::clicked, this, [this](bool on) { CB_saveuserClick(on); });

    showState();
    setFixedSize(sizeHint());
}

void TFormlogin::readControls() {
    form.name = toGbk(ED_name->text());
    form.password = toGbk(ED_psw->text());
    form.kindIndex = std::max(0, CB_ProjType->currentIndex());
    form.saveUser = CB_saveuser->isChecked();
}

void TFormlogin::showState() {
    const QSignalBlocker b1(CB_ProjType), b2(ED_name), b3(ED_psw), b4(CB_saveuser);
    QStringList items;
    for (const std::string& k : form.kinds)
        items << fromGbk(k);
    QStringList current;
    for (int i = 0; i < CB_ProjType->count(); ++i)
        current << CB_ProjType->itemText(i);
    if (items != current) {
        CB_ProjType->clear();
        CB_ProjType->addItems(items);
    }
    CB_ProjType->setCurrentIndex(form.kindIndex);
    if (toGbk(ED_name->text()) != form.name) ED_name->setText(fromGbk(form.name));
    if (toGbk(ED_psw->text()) != form.password) ED_psw->setText(fromGbk(form.password));
    CB_saveuser->setChecked(form.saveUser);
    Panel1->setText(fromGbk(form.message));
    BT_login->setEnabled(form.loginEnabled);
}

void TFormlogin::setMessage(const std::string& gbkText) {
    form.message = gbkText;
    Panel1->setText(fromGbk(gbkText));
}

void TFormlogin::setLoginEnabled(bool enabled) {
    form.loginEnabled = enabled;
    BT_login->setEnabled(enabled);
}

void TFormlogin::prefill(const std::string& name, const std::string& password) {
    readControls();
    form.prefill(name, password);
    showState();
}

void TFormlogin::showCentred() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        const QRect area = s->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    show();
}

void TFormlogin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    readControls();
    form.show();
    showState();
}

void TFormlogin::hideEvent(QHideEvent* event) {
    form.hide();
    QDialog::hideEvent(event);
}

void TFormlogin::closeEvent(QCloseEvent* event) {
    event->accept();
    if (form.closeEndsApplication() && endApplication) endApplication();
}

void TFormlogin::BT_loginClick() {
    if (!BT_login->isEnabled()) return;
    readControls();
    form.loginPressed();
    showState();
}

void TFormlogin::BT_logoutClick() {
    close();
}

void TFormlogin::CB_saveuserClick(bool ticked) {
    readControls();
    form.saveUserChanged(ticked);
    showState();
}

} // namespace api::gui
