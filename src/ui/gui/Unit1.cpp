#include "ui/gui/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "api/gui/QtVehicleTreeView.h"
#include "api/gui/Uformlogin.h"
#include "api/gui/VehicleTreeModel.h"
#include "net/QtTcpClient.h"
#include "ui/gui/CaptionIcons.h"
#include "ui/gui/IdleClock.h"
#include "ui/gui/PaintBox.h"
#include "util/GbkText.h"

namespace ui::gui {

namespace {

QString q(std::string_view gbk) {
    return QString::fromStdString(util::gbkToUtf8(std::string(gbk)));
}

// The standard colour, or the green that says "connected".
void setGreen(QWidget* w, bool green) {
    const QString sheet = green ? "background-color: rgb(0, 255, 0);" : QString();
    if (w->styleSheet() != sheet) w->setStyleSheet(sheet);
}

void setText(QLabel* l, const QString& t) {
    if (l->text() != t) l->setText(t);
}

void setText(QLineEdit* e, const QString& t) {
    if (e->text() != t) e->setText(t);
}

void setText(QPushButton* b, const QString& t) {
    if (b->text() != t) b->setText(t);
}

MainControl::Parts realParts(MainControl::Parts parts) {
    if (parts.videoSocket == nullptr)
        parts.videoSocket = [] { return std::make_unique<net::QtTcpClient>(); };
    if (parts.pushSocket == nullptr)
        parts.pushSocket = [] { return std::make_unique<net::QtTcpClient>(); };
    return parts;
}

} // namespace

// The login dialog as the controller drives it.
class TForm1::LoginAdapter : public LoginWindow {
public:
    explicit LoginAdapter(api::gui::TFormlogin& f) : form(f) {}
    api::LoginDialog& logic() override { return form.logic(); }
    void setMessage(const std::string& text) override { form.setMessage(text); }
    void setLoginEnabled(bool enabled) override { form.setLoginEnabled(enabled); }
    void prefill(const std::string& name, const std::string& password) override {
        form.prefill(name, password);
    }
    void showCentred() override { form.showCentred(); }
    void closeDialog() override { form.close(); }
    bool isShowing() const override { return form.isVisible(); }
    void pressLogin() override { form.BT_login->click(); }

private:
    api::gui::TFormlogin& form;
};

TForm1::TForm1(const std::string& programDir, MainControl::Parts parts)
    : control(std::make_unique<MainControl>(realParts(std::move(parts)), programDir)),
      icons(std::make_unique<CaptionIcons>()), idle(std::make_unique<IdleClock>()) {
    build();
    formLogin = new api::gui::TFormlogin(this);
    formLogin->setWindowFlag(Qt::Window);
    loginAdapter = std::make_unique<LoginAdapter>(*formLogin);

    MainControl& c = *control;
    c.desktop = this;
    c.login = loginAdapter.get();
    c.surface = PaintBox1;
    c.view.icons = icons.get();
    c.surfaceSize = [this](uint16_t& h, uint16_t& w) {
        h = static_cast<uint16_t>(std::max(0, PaintBox1->height()));
        w = static_cast<uint16_t>(std::max(0, PaintBox1->width()));
    };
    c.quit = [] { QApplication::quit(); };

    treeView = std::make_unique<api::gui::QtVehicleTreeView>(c.web.tree, *CarTree_obj);
    QObject::connect(CarTree_obj->selectionModel(), &QItemSelectionModel::currentChanged, this,
                     [this](const QModelIndex& now) {
                         control->CarTree_objClick(api::gui::VehicleTreeModel::node(now));
                         syncControls();
                     });
    QObject::connect(CarTree_obj, &QTreeView::doubleClicked, this, [this](const QModelIndex& at) {
        control->CarTree_objDblClick(api::gui::VehicleTreeModel::node(at));
        syncControls();
    });

    PaintBox1->setIcons(icons.get());
    PaintBox1->OnMouseDown = [this](int b, int x, int y) {
        control->view.MouseDown(b, x, y);
        syncControls();
    };
    PaintBox1->OnMouseUp = [this](int b, int x, int y) {
        control->view.MouseUp(b, x, y);
        syncControls();
    };
    PaintBox1->OnExposed = [this] { control->view.redrawAll = true; };

    Timer1.setInterval(30);
    Timer1.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TForm1::~TForm1() {
    Timer1.stop();
    // The tree's view goes before the tree it shows.
    treeView.reset();
}

QToolButton* TForm1::toolButton(const char* name, const QString& caption, const QString& hint) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setAutoRaise(true);
    return b;
}

void TForm1::build() {
    setObjectName("Form1");
    setWindowTitle("Orvanta V1.43");
    resize(1280, 800);

    Panel_car = new QFrame(this);
    Panel_car->setObjectName("Panel_car");
    Panel_car->setFixedWidth(240);
    auto* car = new QVBoxLayout(Panel_car);
    car->setContentsMargins(2, 2, 2, 2);
    car->setSpacing(3);
    ED_findcar = new QLineEdit(Panel_car);
    ED_findcar->setObjectName("ED_findcar");
    Label1 = new QLabel(QString::fromUtf8("CH1设备信息"), Panel_car);
    Label1->setObjectName("Label1");
    ED_devname = new QLineEdit(Panel_car);
    ED_devname->setObjectName("ED_devname");
    ED_devname->setReadOnly(true);
    PL_user = new QLabel(QString::fromUtf8("用户未登陆"), Panel_car);
    PL_user->setObjectName("PL_user");
    PL_user->setToolTip(QString::fromUtf8("绿色:视频服务器正常"));
    PL_user->setAlignment(Qt::AlignCenter);
    PL_user->setFrameShape(QFrame::Panel);
    PL_user->setFrameShadow(QFrame::Raised);
    PL_user->setMinimumHeight(24);
    BT_carAccFlush = new QPushButton(QString::fromUtf8("状态自动同步"), Panel_car);
    BT_carAccFlush->setObjectName("BT_carAccFlush");
    BT_carAccFlush->setToolTip(QString::fromUtf8("点击手动同步，绿色：状态监听正常"));
    BT_carSYN = new QPushButton(QString::fromUtf8("车辆资料"), Panel_car);
    BT_carSYN->setObjectName("BT_carSYN");
    BT_carSYN->setToolTip(QString::fromUtf8("点击更新车辆资料"));
    CarTree_obj = new QTreeView(Panel_car);
    CarTree_obj->setObjectName("CarTree_obj");
    CarTree_obj->setHeaderHidden(true);
    CarTree_obj->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CarTree_obj->setUniformRowHeights(true);
    car->addWidget(ED_findcar);
    car->addWidget(Label1);
    car->addWidget(ED_devname);
    car->addWidget(PL_user);
    auto* sync = new QHBoxLayout;
    sync->addWidget(BT_carAccFlush);
    sync->addWidget(BT_carSYN);
    car->addLayout(sync);
    car->addWidget(CarTree_obj, 1);

    TB_cartree =
        toolButton("TB_cartree", QString::fromUtf8("车辆树"), QString::fromUtf8("车辆列表"));
    TB_view = toolButton("TB_view", QString::fromUtf8("监控"), QString::fromUtf8("视频监控"));
    TB_view->setCheckable(true);
    TB_stopall =
        toolButton("TB_stopall", QString::fromUtf8("停止"), QString::fromUtf8("关闭全部画面"));
    TB_playall =
        toolButton("TB_playall", QString::fromUtf8("打开"), QString::fromUtf8("打开摄像头"));
    TB_file = toolButton("TB_file", QString::fromUtf8("已下载"), QString::fromUtf8("已下载"));
    TB_upscreen =
        toolButton("TB_upscreen", QString::fromUtf8("上一屏"), QString::fromUtf8("上一屏"));
    TB_uppic = toolButton("TB_uppic", QString::fromUtf8("上一个"), QString::fromUtf8("上一个"));
    TB_downpic = toolButton("TB_downpic", QString::fromUtf8("下一个"), QString::fromUtf8("下一个"));
    TB_downscreen =
        toolButton("TB_downscreen", QString::fromUtf8("下一屏"), QString::fromUtf8("下一屏"));
    TB_2pic = toolButton("TB_2pic", QString::fromUtf8("2分屏"), QString::fromUtf8("2分屏"));
    TB_4pic = toolButton("TB_4pic", QString::fromUtf8("4分屏"), QString::fromUtf8("4分屏"));
    TB_6pic = toolButton("TB_6pic", QString::fromUtf8("6分屏"), QString::fromUtf8("6分屏"));
    TB_9pic = toolButton("TB_9pic", QString::fromUtf8("9分屏"), QString::fromUtf8("9分屏"));
    TB_16pic = toolButton("TB_16pic", QString::fromUtf8("20分屏"), QString::fromUtf8("20分屏"));
    TB_fullscreen =
        toolButton("TB_fullscreen", QString::fromUtf8("全屏切换"), QString::fromUtf8("全屏切换"));
    TB_close = toolButton("TB_close", QString::fromUtf8("退出系统"), QString::fromUtf8("退出系统"));
    Panel_PBtime = new QLabel(this);
    Panel_PBtime->setObjectName("Panel_PBtime");
    Panel_PBtime->setAlignment(Qt::AlignCenter);
    Panel_PBtime->setFrameShape(QFrame::Panel);
    Panel_PBtime->setFrameShadow(QFrame::Sunken);
    Panel_PBtime->setMinimumWidth(110);

    auto* tools = new QHBoxLayout;
    tools->setSpacing(1);
    for (QToolButton* b : {TB_cartree, TB_view, TB_stopall, TB_playall, TB_file})
        tools->addWidget(b);
    tools->addStretch(1);
    for (QToolButton* b : {TB_upscreen, TB_uppic, TB_downpic, TB_downscreen, TB_2pic, TB_4pic,
                           TB_6pic, TB_9pic, TB_16pic, TB_fullscreen, TB_close})
        tools->addWidget(b);
    tools->addWidget(Panel_PBtime);

    // The playback bar and the timeline panel belong to playback; hidden in live view.
    Panel_PB = new QFrame(this);
    Panel_PB->setObjectName("Panel_PB");
    Panel_PB->hide();
    Panel_playback = new QFrame(this);
    Panel_playback->setObjectName("Panel_playback");
    Panel_playback->setFixedHeight(88);
    Panel_playback->hide();
    PaintBox1 = new PaintBox(this);
    PaintBox1->setObjectName("PaintBox1");

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(1);
    right->addLayout(tools);
    right->addWidget(Panel_PB);
    right->addWidget(Panel_playback);
    right->addWidget(PaintBox1, 1);
    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(2, 2, 2, 2);
    root->setSpacing(2);
    root->addWidget(Panel_car);
    root->addLayout(right, 1);

    const auto click = [this](QToolButton* b, auto&& action) {
        QObject::connect(b, &QToolButton::clicked, this, [this, action] {
            action();
            syncControls();
        });
    };
    MainControl* c = control.get();
    click(TB_cartree, [c] { c->TB_cartreeClick(); });
    click(TB_view, [c] { c->TB_viewClick(); });
    click(TB_stopall, [c] { c->TB_stopallClick(); });
    click(TB_playall, [this, c] { c->TB_playallClick(selectedNode()); });
    click(TB_file, [c] { c->TB_fileClick(); });
    click(TB_upscreen, [c] { c->PageClick(false); });
    click(TB_uppic, [c] { c->CellClick(false); });
    click(TB_downpic, [c] { c->CellClick(true); });
    click(TB_downscreen, [c] { c->PageClick(true); });
    click(TB_2pic, [c] { c->LayoutClick(5); });
    click(TB_4pic, [c] { c->LayoutClick(2); });
    click(TB_6pic, [c] { c->LayoutClick(6); });
    click(TB_9pic, [c] { c->LayoutClick(3); });
    click(TB_16pic, [c] { c->LayoutClick(4); });
    click(TB_fullscreen, [this] { TB_fullscreenClick(); });
    click(TB_close, [this] { close(); });
    QObject::connect(BT_carSYN, &QPushButton::clicked, this, [this] {
        control->BT_carSYNClick();
        syncControls();
    });
    QObject::connect(BT_carAccFlush, &QPushButton::clicked, this, [this] {
        control->BT_carAccFlushClick();
        syncControls();
    });
}

const api::TRNode* TForm1::selectedNode() const {
    return api::gui::VehicleTreeModel::node(CarTree_obj->currentIndex());
}

bool TForm1::setStatsFile(const std::string& path) {
    statsFile.open(path, std::ios::out | std::ios::app);
    if (!statsFile) return false;
    control->OnStats = [this](const std::string& line) {
        statsFile << line << '\n';
        statsFile.flush();
    };
    return true;
}

void TForm1::start() {
    control->FormCreate();
    if (control->timerEnabled) Timer1.start();
    syncControls();
}

void TForm1::Timer1Timer() {
    control->Timer1Timer();
    if (!control->timerEnabled) Timer1.stop();
    syncControls();
}

void TForm1::syncControls() {
    const MainWindowState& s = control->window;
    setText(PL_user, q(s.userCaption));
    setGreen(PL_user, s.userGreen);
    setText(BT_carSYN, q(s.carSynCaption));
    setGreen(BT_carSYN, s.carSynGreen);
    setText(BT_carAccFlush, q(s.accFlushCaption));
    setText(Panel_PBtime, q(s.timeText));
    if (!ED_findcar->hasFocus()) setText(ED_findcar, q(s.findText));
    setText(ED_devname, q(s.devName));
    if (Panel_car->isVisible() != s.carPanelVisible && isVisible())
        Panel_car->setVisible(s.carPanelVisible);
    TB_view->setChecked(s.viewDown);
    TB_stopall->setVisible(s.stopAllVisible);
    TB_playall->setVisible(s.playAllVisible);
}

void TForm1::TB_fullscreenClick() {
    if (!(windowFlags() & Qt::FramelessWindowHint)) {
        savedBounds = geometry();
        setWindowFlag(Qt::FramelessWindowHint, true);
        showMaximized();
    } else {
        setWindowFlag(Qt::FramelessWindowHint, false);
        showNormal();
        setGeometry(savedBounds);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!closing && !control->FormCloseQuery()) {
        event->ignore();
        return;
    }
    closing = true;
    Timer1.stop();
    formLogin->logic().setClient(nullptr); // closing it now must not end anything else
    formLogin->hide();
    event->accept();
}

// --- Desktop ---

// Information and error boxes open from the event loop, not from inside the caller: a box
// opened inside the 30 ms timer's handler would hold that timer (Qt does not re-enter a
// timer's handler), freezing every picture until the operator answers.
void TForm1::Inform(std::string_view caption, std::string_view text) {
    deferBox(QMessageBox::Information, q(caption), q(text));
}

void TForm1::Error(std::string_view caption, std::string_view text) {
    deferBox(QMessageBox::Critical, q(caption), q(text));
}

void TForm1::deferBox(int icon, const QString& caption, const QString& text) {
    QTimer::singleShot(0, this, [this, icon, caption, text] {
        QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, text, QMessageBox::Ok, this);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
        idle->touched();
    });
}

bool TForm1::ConfirmError(std::string_view caption, std::string_view text) {
    QMessageBox box(QMessageBox::Critical, q(caption), q(text),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int answer = box.exec();
    idle->touched();
    return answer == QMessageBox::Ok;
}

bool TForm1::AskYesNo(std::string_view caption, std::string_view text) {
    QMessageBox box(QMessageBox::Question, q(caption), q(text), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int answer = box.exec();
    idle->touched();
    return answer == QMessageBox::Yes;
}

unsigned TForm1::IdleSeconds() {
    return idle->seconds();
}

void TForm1::OpenPath(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(util::gbkToUtf8(path))));
}

} // namespace ui::gui
