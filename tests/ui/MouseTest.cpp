// Presses and releases on the grid: the caption icons, selection and drag and drop.

#include <gtest/gtest.h>

#include "GridFixture.h"

using namespace tavrina_test;
using namespace util::literals;
using media::RTPPlayer;

namespace {

// Cell 1 of 20 on 1000 x 700: picture area 0,0 - 199,154, caption strip 154 - 174, icons from
// x = 103 in steps of 16.
class GridMouse : public Grid {
protected:
    struct PathRequest {
        int kind;
        std::string vehicle, label, extension;
        double time;
    };
    std::vector<PathRequest> requests;
    bool pathsFail = false;
    RTPPlayer* p = nullptr;

    void SetUp() override {
        Grid::SetUp();
        // The buffer events of every draw are another test's business.
        auto record = grid.OnChannelEvent;
        grid.OnChannelEvent = [record](const media::SIMCH& k, uint8_t code, uint8_t arg) {
            if (code != ui::EvBufferLow && code != ui::EvBufferHigh) record(k, code, arg);
        };
        grid.MakeFilePath = [this](std::string& out, int kind, const std::string& vehicle,
                                   const std::string& label, const std::string& ext, double time) {
            requests.push_back({kind, vehicle, label, ext, time});
            if (pathsFail) return false;
            out = "/media/file" + ext;
            return true;
        };
        init();
        p = open(1);
        open(2);
        draw();
    }

    void click(int x, int y) {
        grid.MouseDown(ui::mbLeft, x, y);
        grid.MouseUp(ui::mbLeft, x, y);
    }
};

TEST_F(GridMouse, IconHitRectangles) {
    // x -> the icon hit (0 record .. 5 close), -1 none; edges count, the first icon wins.
    const std::pair<int, int> cases[] = {{102, -1}, {103, 0}, {118, 0}, {119, 0}, {120, 1},
                                         {135, 1},  {136, 2}, {151, 2}, {152, 3}, {167, 3},
                                         {168, 4},  {183, 4}, {184, 5}, {199, 5}};
    for (const auto& [x, icon] : cases) {
        for (int y : {155, 174}) {
            ui::MultiPlayer probe(counter, FakeSoundDevice::factory(sound));
            RecordingSurface s;
            probe.Init(&s, 700, 1000);
            RTPPlayer* q = probe.Open(key(1), "v", "CH1 ", 0, false, 8000, 16, 1);
            std::vector<int> seen;
            probe.OnChannelEvent = [&](const media::SIMCH&, uint8_t code, uint8_t) {
                if (code != ui::EvBufferLow) seen.push_back(code);
            };
            std::vector<int> kinds;
            probe.MakeFilePath = [&](std::string& out, int kind, const std::string&,
                                     const std::string&, const std::string&, double) {
                kinds.push_back(kind);
                out = "f";
                return true;
            };
            probe.Draw();
            probe.MouseDown(ui::mbLeft, x, y);
            int hit = -1;
            if (kinds == std::vector<int>{1}) hit = 0;
            if (kinds == std::vector<int>{0}) hit = 1;
            if (seen == std::vector<int>{ui::EvPause}) hit = 2;
            if (seen == std::vector<int>{ui::EvAudioOn}) hit = 3;
            if (!probe.GetCell(1)->fit) hit = 4;
            if (seen == std::vector<int>{ui::EvClosed}) hit = 5;
            EXPECT_EQ(hit, icon) << x << "," << y;
            if (hit != 5) {
                EXPECT_EQ(probe.GetCell(1)->player, q);
            }
        }
    }
}

TEST_F(GridMouse, PressOnThePictureAreaEdgeIsNoIconClick) {
    grid.MouseDown(ui::mbLeft, 110, 154); // the area's bottom edge is the strip's top
    EXPECT_EQ(grid.pressedCell(), 1);
    EXPECT_TRUE(requests.empty());
    grid.MouseDown(ui::mbLeft, 110, 175); // the next row's picture area
    EXPECT_EQ(grid.pressedCell(), 6);
}

TEST_F(GridMouse, RecordStartsAndStops) {
    click(110, 160);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, 1);
    EXPECT_EQ(requests[0].vehicle, "粤B1234"_gbk + "1");
    EXPECT_EQ(requests[0].label, "CH1 ");
    EXPECT_EQ(requests[0].extension, ".flv");
    EXPECT_EQ(requests[0].time, 0);
    EXPECT_TRUE(p->recordWanted);
    EXPECT_EQ(p->recordFile, "/media/file.flv");
    EXPECT_EQ(desktop.boxes, (std::vector<std::string>{"提示: 开始录像"}));

    p->recording = true; // as the next tick opens the recorder
    draw();
    click(110, 160);
    EXPECT_FALSE(p->recordWanted);
    EXPECT_TRUE(grid.GetCell(1)->dirty);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(desktop.boxes.back(), "提示: 录像结束");
}

TEST_F(GridMouse, FailingFilePathLeavesThePlayerAlone) {
    pathsFail = true;
    click(110, 160);
    click(125, 160);
    EXPECT_FALSE(p->recordWanted);
    EXPECT_FALSE(p->snapshotWanted);
    EXPECT_EQ(desktop.boxes, (std::vector<std::string>(2, "提示: 保存文件失败，可能硬盘满了。")));

    // Without the callback the icons do nothing at all.
    grid.MakeFilePath = nullptr;
    click(110, 160);
    click(125, 160);
    EXPECT_EQ(desktop.boxes.size(), 2u);
}

TEST_F(GridMouse, SnapshotIsRequested) {
    click(125, 160);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, 0);
    EXPECT_EQ(requests[0].extension, ".jpg");
    EXPECT_TRUE(p->snapshotWanted);
    EXPECT_EQ(p->snapshotFile, "/media/file.jpg");
    EXPECT_EQ(desktop.boxes, (std::vector<std::string>{"提示: 截图成功"}));
}

TEST_F(GridMouse, PauseSoundFitAndClose) {
    click(140, 160);
    EXPECT_TRUE(p->paused);
    EXPECT_TRUE(grid.GetCell(1)->dirty);
    p->mainStream = true; // the protocol stream type is its negation
    click(140, 160);
    EXPECT_FALSE(p->paused);
    EXPECT_EQ(events, (std::vector<std::string>{"2 1:1 1", "3 1:1 0"}));

    events.clear();
    draw();
    click(155, 160);
    EXPECT_TRUE(p->audioOn);
    EXPECT_TRUE(grid.redrawAll);
    EXPECT_TRUE(grid.audioOutput().isOpen());
    click(155, 160);
    EXPECT_FALSE(p->audioOn);
    EXPECT_EQ(events, (std::vector<std::string>{"4 1:1 0", "5 1:1 0"}));

    draw();
    click(170, 160);
    EXPECT_FALSE(grid.GetCell(1)->fit);
    EXPECT_TRUE(grid.GetCell(1)->dirty);

    events.clear();
    click(190, 160);
    EXPECT_EQ(events, (std::vector<std::string>{"0 1:1 1"}));
    EXPECT_EQ(grid.GetCell(1)->player, nullptr);
    EXPECT_TRUE(desktop.boxes.empty());
    // A free cell's strip has no icons.
    click(190, 160);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(GridMouse, OnlyTheLeftButtonActs) {
    grid.MouseDown(ui::mbRight, 190, 160);
    grid.MouseUp(ui::mbRight, 250, 50);
    grid.MouseDown(ui::mbMiddle, 140, 160);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(grid.selectedCell, 1);
}

TEST_F(GridMouse, DragSwapsAndAClickSelects) {
    open(3, 3);
    open(8, 8);
    grid.GetCell(3)->fit = false;
    RTPPlayer* three = grid.GetCell(3)->player;
    RTPPlayer* eight = grid.GetCell(8)->player;
    draw();
    const int x3 = 398 + 50, x8 = 398 + 50, y1 = 50, y2 = 174 + 50;
    grid.MouseDown(ui::mbLeft, x3, y1);
    grid.MouseUp(ui::mbLeft, x8, y2);
    EXPECT_EQ(grid.GetCell(8)->player, three);
    EXPECT_EQ(grid.GetCell(3)->player, eight);
    EXPECT_EQ(three->cell, 8);
    EXPECT_FALSE(grid.GetCell(8)->fit);
    EXPECT_EQ(grid.selectedCell, 8);
    EXPECT_TRUE(grid.redrawAll);

    draw();
    click(x8, y2);
    EXPECT_EQ(grid.GetCell(8)->player, three);
    EXPECT_EQ(grid.selectedCell, 8);
    EXPECT_TRUE(grid.redrawAll);

    // A release outside every picture area does nothing.
    draw();
    grid.MouseDown(ui::mbLeft, x3, y1);
    grid.MouseUp(ui::mbLeft, x3, 160);
    EXPECT_EQ(grid.selectedCell, 8);
    EXPECT_FALSE(grid.redrawAll);

    // A press that took no picture (an icon, the margin) lets the release only select.
    grid.MouseDown(ui::mbLeft, 170 + 199, 160); // cell 2's fit icon
    grid.MouseUp(ui::mbLeft, 50, 50);
    EXPECT_EQ(grid.selectedCell, 1);
    EXPECT_EQ(grid.GetCell(1)->player, p);
    EXPECT_EQ(grid.GetCell(3)->player, eight);
    grid.MouseDown(ui::mbLeft, 999, 699);
    grid.MouseUp(ui::mbLeft, x8, y2);
    EXPECT_EQ(grid.GetCell(8)->player, three);
}

} // namespace
