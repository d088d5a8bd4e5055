// The grid painted on the real Qt surface (offscreen): what an operator would see, checked
// pixel by pixel on the backing image, and what the widget repaints.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPaintEvent>

#include <memory>

#include "CaptureFrames.h"
#include "GridFixture.h"
#include "ui/gui/CaptionIcons.h"
#include "ui/gui/PaintBox.h"

using namespace tavrina_test;
using ui::gui::PaintBox;

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kOutline = 0xFF008000;

// Records what the system asks the widget to paint.
class ProbeBox : public PaintBox {
public:
    std::vector<QRegion> painted;

protected:
    void paintEvent(QPaintEvent* e) override {
        painted.push_back(e->region());
        PaintBox::paintEvent(e);
    }
};

class QtGrid : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ui_gui_tests";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) app = new QApplication(argc, argv);
    }

    void SetUp() override {
        box.resize(1000, 700);
        box.setIcons(&icons);
        grid.icons = &icons;
        grid.Init(&box, 700, 1000);
    }

    int count(const QImage& img, QRect r, const std::function<bool(QRgb)>& match) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += match(img.pixel(x, y));
        return n;
    }

    static QApplication* app;
    util::FakeClock clock{1000};
    media::ClockCounter counter{clock};
    std::shared_ptr<FakeSoundScript> sound = std::make_shared<FakeSoundScript>();
    ui::MultiPlayer grid{counter, FakeSoundDevice::factory(sound)};
    ui::gui::CaptionIcons icons;
    ProbeBox box;
};

QApplication* QtGrid::app = nullptr;

TEST_F(QtGrid, PictureNumberOutlineAndSelectionFrame) {
    media::RTPPlayer* p = grid.Open(key(1), "粤B12345"_gbk, "CH1 ", 0, false, 8000, 16, 1);
    ASSERT_NE(p, nullptr);
    // Left half red, right half blue.
    ASSERT_TRUE(p->picture.SizeTo(480, 640));
    for (int r = 0; r < 480; ++r)
        for (int c = 0; c < 640; ++c)
            p->picture.rowTable()[r][c] = c < 320 ? 0xFF0000 : 0x0000FF;
    p->picture.newPicture = true;
    grid.Draw();
    const QImage img = box.image();
    img.save(QString(TAVRINA_BINARY_DIR) + "/ui-grid-offscreen.png");

    // Drawn into 1,3 - 199,151 (199 x 154 area, 198 x 148 picture, centred).
    EXPECT_EQ(img.pixel(50, 77), 0xFFFF0000);
    EXPECT_EQ(img.pixel(150, 77), 0xFF0000FF);
    EXPECT_EQ(img.pixel(100, 152), 0xFF000000); // below the picture, above the strip

    // The selection frame, 2 pixels wide, from (1, 1) to (198, 173).
    for (const QPoint& at : {QPoint(1, 80), QPoint(198, 80), QPoint(100, 1), QPoint(100, 173)})
        EXPECT_EQ(img.pixel(at), kGreen) << at.x() << "," << at.y();

    // Free cells: their number in green, centred; outlines dark green.
    const auto green = [](QRgb c) { return c == kGreen; };
    EXPECT_GT(count(img, QRect(199 + 60, 40, 80, 80), green), 20);
    EXPECT_GT(count(img, QRect(796 + 60, 522 + 40, 80, 80), green), 20); // 20
    EXPECT_EQ(count(img, QRect(199 + 5, 5, 50, 140), green), 0);
    EXPECT_EQ(img.pixel(398, 80), kOutline);
    EXPECT_EQ(img.pixel(450, 0), kOutline);
    EXPECT_EQ(img.pixel(450, 154), kOutline);
    EXPECT_EQ(img.pixel(450, 174), kOutline);

    // The caption in white, the icons beside it.
    const auto light = [](QRgb c) { return qRed(c) > 180 && qGreen(c) > 180 && qBlue(c) > 180; };
    EXPECT_GT(count(img, QRect(2, 156, 100, 16), light), 40);
    EXPECT_GT(count(img, QRect(183, 156, 16, 16), light), 10); // close
    EXPECT_EQ(count(img, QRect(0, 175, 199, 10), light), 0);
}

TEST_F(QtGrid, RealStreamShowsItsPictures) {
    media::RTPPlayer* p = grid.Open(key(1), "v", "CH1 ", 0, false, 8000, 16, 1);
    grid.GetCell(1)->fit = false;
    grid.Layout(700, 1000, 1); // one picture area of 999 x 679
    const auto frames = captureFrames();
    const uint32_t t0 = frames.front().meta.timestamp;
    size_t i = 0;
    for (uint64_t now = 0; now < 3000; now += 30) {
        for (; i < frames.size() && frames[i].meta.timestamp - t0 <= now; ++i) {
            media::RTPmeta h = frames[i].meta;
            h.simch = key(1);
            grid.OnFrame(h, frames[i].data);
        }
        clock.advanceMs(30);
        grid.Draw();
    }
    ASSERT_TRUE(p->picture.hasPicture);
    ASSERT_EQ(p->picture.width(), 640);
    // Not fitted and smaller than the area: drawn at its own size, centred.
    const QImage img = box.image();
    img.save(QString(TAVRINA_BINARY_DIR) + "/ui-grid-stream.png");
    const int x0 = (0 + 999 - 640 + 1) / 2, y0 = (0 + 679 - 480 + 1) / 2;
    int same = 0;
    for (int y = 10; y < 480; y += 37)
        for (int x = 10; x < 640; x += 41)
            same += img.pixel(x0 + x, y0 + y) == (0xFF000000 | p->picture.pixel(y, x));
    EXPECT_EQ(same, 13 * 16);
    EXPECT_EQ(img.pixel(x0 - 1, y0 + 100), 0xFF000000);
}

TEST_F(QtGrid, RepaintsOnlyWhatChanged) {
    int exposed = 0;
    box.OnExposed = [&] { ++exposed; };
    box.show();
    for (int n = 0; n < 5; ++n)
        QApplication::processEvents();
    EXPECT_EQ(exposed, 1); // shown: the system wants it all
    grid.Draw();
    QApplication::processEvents();
    EXPECT_EQ(exposed, 1); // our own painting is no exposure
    box.painted.clear();

    grid.Draw(); // quiet: only the selection frame
    QApplication::processEvents();
    ASSERT_FALSE(box.painted.empty());
    QRegion all;
    for (const QRegion& r : box.painted)
        all += r;
    EXPECT_TRUE(QRect(-4, -4, 208, 184).contains(all.boundingRect()));
    EXPECT_EQ(exposed, 1);

    box.resize(900, 700);
    for (int n = 0; n < 5; ++n)
        QApplication::processEvents();
    EXPECT_EQ(exposed, 2);
    EXPECT_FALSE(grid.SizeUnchanged(static_cast<uint16_t>(box.height()),
                                    static_cast<uint16_t>(box.width())));
}

TEST_F(QtGrid, MouseAndFont) {
    std::vector<std::string> seen;
    box.OnMouseDown = [&](int b, int x, int y) {
        seen.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," +
                       std::to_string(y));
    };
    box.OnMouseUp = [&](int b, int x, int y) {
        seen.push_back("up " + std::to_string(b) + " " + std::to_string(x) + "," +
                       std::to_string(y));
    };
    box.OnDblClick = [&] { seen.push_back("double"); };
    const QPointF at(30, 40);
    const auto send = [&](QEvent::Type type, Qt::MouseButton button) {
        QMouseEvent e(type, at, box.mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(&box, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_EQ(seen, (std::vector<std::string>{"down 0 30,40", "up 0 30,40", "double",
                                              "down 0 30,40", "down 1 30,40"}));

    // The original's sizes at 96 dpi: 10 points are 13 pixels, 24 are 32.
    EXPECT_EQ(box.fontFor(10).pixelSize(), 13);
    EXPECT_EQ(box.fontFor(24).pixelSize(), 32);
    EXPECT_TRUE(QFontInfo(box.fontFor(10)).family().startsWith("Noto S"))
        << QFontInfo(box.fontFor(10)).family().toStdString();
}

} // namespace
