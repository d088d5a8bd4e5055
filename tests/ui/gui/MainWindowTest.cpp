// The main window as the program builds it, against tavrina-sim: log in through the dialog,
// the tree, a double click to a moving picture, the video server dropping the client, the exit
// question.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "../../api/gui/GuiApp.h"
#include "../../net/SimProcess.h"
#include "api/gui/Uformlogin.h"
#include "api/gui/VehicleTreeModel.h"
#include "settings/ConfSet.h"
#include "ui/gui/PaintBox.h"
#include "ui/gui/Unit1.h"
#include "util/GbkText.h"

using namespace util::literals;
using tavrina_test::SimProcess;

namespace {

namespace fs = std::filesystem;

// A program directory whose settings point at the simulator.
class Home {
public:
    Home(const SimProcess& sim, const char* name) {
        dir = fs::temp_directory_path() / ("tavrina-window-" + std::to_string(::getpid()) + name);
        fs::remove_all(dir);
        fs::create_directories(dir / "media");
        fs::copy_file(std::string(TAVRINA_BINARY_DIR) + "/bin/Zorvu.cfset", dir / "Zorvu.cfset");
        settings::ConfSet s;
        s.Setup(dir.string() + "/", "Zorvu");
        EXPECT_TRUE(s.Load());
        s.SetStr("RTP服务器IP"_gbk, "127.0.0.1");
        s.SetInt("RTP服务器端口"_gbk, uint32_t{sim.videoPort});
        s.SetStr("POST_Data_url"_gbk, sim.dataUrl);
        s.SetStr("POST_CMD_url"_gbk, sim.cmdUrl);
        s.SetStr("WS监听IP"_gbk, "127.0.0.1");
        s.SetInt("WS监听端口"_gbk, uint32_t{sim.wsPort});
        s.SetStr("截图录像保存目录"_gbk, util::utf8ToGbk(dir.string() + "/media/"));
        s.SetInt("无操作关闭视频"_gbk, 0u);
        EXPECT_TRUE(s.Save());
    }
    ~Home() { fs::remove_all(dir); }
    std::string path() const { return util::utf8ToGbk(dir.string() + "/"); }

    fs::path dir;
};

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

// The first node of a kind in the model, depth first.
QModelIndex firstOfKind(const QAbstractItemModel& m, int kind, const QModelIndex& parent = {}) {
    for (int r = 0; r < m.rowCount(parent); ++r) {
        const QModelIndex i = m.index(r, 0, parent);
        if (m.data(i, api::gui::VehicleTreeModel::KindRole).toInt() == kind) return i;
        const QModelIndex below = firstOfKind(m, kind, i);
        if (below.isValid()) return below;
    }
    return {};
}

// The share of pixels of a rectangle that are not black.
double lit(const QImage& image, const ui::Rect& r) {
    int on = 0, all = 0;
    for (int y = r.top; y < r.bottom; y += 4)
        for (int x = r.left; x < r.right; x += 4, ++all)
            on += (image.pixel(x, y) & 0xFFFFFF) != 0;
    return all ? static_cast<double>(on) / all : 0;
}

// Answers the next message box with `button` once it appears; its text lands in `text`.
void answerNextBox(QMessageBox::StandardButton button, QString& text) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, button, &text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        text = box->windowTitle() + ": " + box->text();
        box->button(button)->click();
        poll->deleteLater();
    });
    poll->start(50);
}

TEST(MainWindow, FromLoginToAMovingPictureAndBackAfterADrop) {
    SimProcess sim({"--http-port", "0", "--ws-port", "0", "--vehicles", "8", "--drop-after", "12"});
    ASSERT_TRUE(sim.running());
    Home home(sim, "live");
    ui::gui::TForm1 window(home.path());
    window.resize(1100, 760);
    window.show();
    window.start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle().toStdString(), "Orvanta V1.43");
    EXPECT_EQ(window.PL_user->text().toStdString(), "用户未登陆");

    api::gui::TFormlogin& login = window.loginDialog();
    ASSERT_TRUE(waitFor([&] { return login.isVisible(); }, 5000));
    login.ED_name->setText("demo");
    login.ED_psw->setText("demo");
    QTest::mouseClick(login.BT_login, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window.logic().vehicleDataLoaded(); }, 20000));
    EXPECT_FALSE(login.isVisible());
    EXPECT_EQ(window.PL_user->text().toStdString(), "demo");

    // The tree shows the organisations with their counts.
    QTreeView& tree = window.carTree();
    ASSERT_GT(tree.model()->rowCount(), 0);
    const QString top = tree.model()->index(0, 0).data().toString();
    EXPECT_TRUE(top.contains('(') && top.contains('/')) << top.toStdString();
    ASSERT_TRUE(waitFor([&] { return window.PL_user->styleSheet().contains("0, 255, 0"); }, 10000));

    // A double click on the first vehicle's first channel: a moving picture within 5 s.
    const QModelIndex channel = firstOfKind(*tree.model(), api::kChannel);
    ASSERT_TRUE(channel.isValid());
    for (QModelIndex up = channel.parent(); up.isValid(); up = up.parent())
        tree.expand(up);
    tree.scrollTo(channel);
    QTest::qWait(50);
    const QPoint at = tree.visualRect(channel).center();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, at);
    const auto player = [&]() -> const media::RTPPlayer* {
        const ui::ChanelPic* c = window.logic().view.GetCell(1);
        return c ? c->player : nullptr;
    };
    ASSERT_TRUE(waitFor([&] { return player() && player()->stats.firstPictureMs != 0; }, 5000))
        << (player() ? util::gbkToUtf8(player()->statusText) : "no picture") << " "
        << window.ED_findcar->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return player()->statusText.empty(); }, 2000));
    const ui::Rect area = window.logic().view.GetCell(1)->area;
    QTest::qWait(300);
    EXPECT_GT(lit(window.pictureArea().image(), area), 0.5);
    apitest::screenshot(window, "tavrina-live");

    // The video server drops the client 12 s after its login: pictures move again within 7 s.
    ASSERT_TRUE(waitFor([&] { return !window.logic().video.loggedIn(); }, 15000));
    QElapsedTimer sinceDrop;
    sinceDrop.start();
    // Pictures decoded since the drop (more than the buffered tail of the old stream); a new
    // stream may bring a new decoder, counting from 0.
    uint32_t last = player()->decoder.decodedCount, since = 0;
    const auto decodedSince = [&] {
        const uint32_t now = player()->decoder.decodedCount;
        since += now >= last ? now - last : now;
        last = now;
        return since;
    };
    ASSERT_TRUE(waitFor([&] { return decodedSince() > 30 && window.logic().video.loggedIn(); },
                        7000))
        << "logged in " << window.logic().video.loggedIn() << " status "
        << util::gbkToUtf8(player()->statusText) << " decoded since the drop " << since;
    std::cout << "pictures moved again " << sinceDrop.elapsed() << " ms after the drop\n";

    // Closing asks first; No keeps the window.
    QString asked;
    answerNextBox(QMessageBox::No, asked);
    window.close();
    EXPECT_EQ(asked.toStdString(), "提示: 是否要退出系统？");
    EXPECT_TRUE(window.isVisible());
    answerNextBox(QMessageBox::Yes, asked);
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.logic().view.AllEmpty());
}

} // namespace
