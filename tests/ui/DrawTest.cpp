// What Draw paints, against a recording surface: full and incremental repaints, pictures
// scaled and centred, captions, icons, the selection frame and the per-tick buffer events.

#include <gtest/gtest.h>

#include "GridFixture.h"

using namespace tavrina_test;
using namespace util::literals;
using media::RTPPlayer;

namespace {

const std::string kFrame = "line 1,1 198,1 198,173 1,173 1,1 #00ff00 w2";

// A converted picture of the given size, as the player leaves it for the view.
void givePicture(RTPPlayer& p, int width, int height) {
    ASSERT_TRUE(p.picture.SizeTo(height, width));
    p.picture.newPicture = true;
}

TEST_F(Grid, RedrawAllPaintsEveryCellThenTheFrame) {
    init();
    open(1);
    const auto& ops = draw();
    ASSERT_GE(ops.size(), 14u);
    const std::vector<std::string> head(ops.begin(), ops.begin() + 19);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "fill 0,0,1000,700 #000000",
                        "fill 0,0,199,154 #000000",
                        "line 0,0 199,0 199,154 0,154 0,0 #008000 w1",
                        "fill 0,154,199,174 #000000",
                        "line 0,154 199,154 199,174 0,174 0,154 #008000 w1",
                        "text 0,154,103,174 10 #ffffff left 1 粤B12341 CH1  画面打开",
                        "icon 0 103,156",
                        "icon 2 119,156",
                        "icon 3 135,156",
                        "icon 5 151,156",
                        "icon 7 167,156",
                        "icon 8 183,156",
                        "fill 199,0,398,154 #000000",
                        "line 199,0 398,0 398,154 199,154 199,0 #008000 w1",
                        "text 199,0,398,154 24 #00ff00 centre 2",
                        "fill 199,154,398,174 #000000",
                        "line 199,154 398,154 398,174 199,174 199,154 #008000 w1",
                        "fill 398,0,597,154 #000000",
                        "line 398,0 597,0 597,154 398,154 398,0 #008000 w1",
                    }));
    EXPECT_EQ(surface.only("text").size(), 20u);
    EXPECT_EQ(surface.only("text").back(), "text 796,522,995,676 24 #00ff00 centre 20");
    EXPECT_EQ(ops.back(), kFrame);
    EXPECT_FALSE(grid.redrawAll);
    EXPECT_FALSE(grid.GetCell(1)->player->statusChanged);
}

TEST_F(Grid, QuietTickPaintsOnlyTheSelectionFrame) {
    init();
    open(1);
    open(2);
    draw();
    EXPECT_EQ(draw(), (std::vector<std::string>{kFrame}));
    clock.advanceMs(990);
    EXPECT_EQ(draw(), (std::vector<std::string>{kFrame}));
}

TEST_F(Grid, NewPictureIsDrawnWithoutRepaintingTheCell) {
    init();
    RTPPlayer* p = open(1);
    draw();
    givePicture(*p, 640, 480);
    // 199 x 154: s = 198 / 640, drawn 198 x 148, centred.
    EXPECT_EQ(draw(), (std::vector<std::string>{"picture 1,3,199,151 from 640x480", kFrame}));
    EXPECT_EQ(surface.lastBits, p->picture.bits());
    // Taken once: the next quiet tick does not draw it again.
    EXPECT_EQ(draw(), (std::vector<std::string>{kFrame}));
}

TEST_F(Grid, SecondTickRewritesCaptionsAndIcons) {
    init();
    RTPPlayer* p = open(1);
    p->paused = true;
    p->audioOn = true;
    p->recordWanted = p->recording = true; // as if the recorder were open
    draw();
    clock.advanceMs(1000);
    EXPECT_EQ(draw(), (std::vector<std::string>{
                          "text 0,154,103,174 10 #ffffff left 1 粤B12341 CH1  画面打开",
                          "icon 1 103,156", "icon 2 119,156", "icon 4 135,156", "icon 6 151,156",
                          "icon 7 167,156", "icon 8 183,156", kFrame}));
    // Without enough images, no icons.
    iconList.n = 7;
    clock.advanceMs(1000);
    draw();
    EXPECT_TRUE(surface.only("icon").empty());
}

TEST_F(Grid, ChangedStatusRepaintsTheWholeCellWithItsPicture) {
    init();
    RTPPlayer* p = open(1);
    givePicture(*p, 640, 480);
    draw();
    grid.SetStatus(key(1), "设备连接..."_gbk);
    EXPECT_EQ(draw(),
              (std::vector<std::string>{
                  "fill 0,0,199,154 #000000", "line 0,0 199,0 199,154 0,154 0,0 #008000 w1",
                  "fill 0,154,199,174 #000000", "line 0,154 199,154 199,174 0,174 0,154 #008000 w1",
                  // Taken again although not new: the cell was cleared.
                  "picture 1,3,199,151 from 640x480",
                  "text 0,154,103,174 10 #ffffff left 1 粤B12341 CH1  设备连接...",
                  "icon 0 103,156", "icon 2 119,156", "icon 3 135,156", "icon 5 151,156",
                  "icon 7 167,156", "icon 8 183,156", kFrame}));
    p->statusChanged = true;
    EXPECT_EQ(draw().size(), 13u);
    EXPECT_FALSE(p->statusChanged);
}

TEST_F(Grid, CellsOffThePageAreNotDrawnAndTheirPlayersNotVisible) {
    init(700, 1000, 2);
    grid.firstCell = grid.selectedCell = 5;
    grid.Layout(700, 1000, 2);
    RTPPlayer* off = open(2, 1); // cell 1, off the page
    ASSERT_EQ(off->cell, 1);
    draw();
    EXPECT_EQ(surface.only("text"), (std::vector<std::string>{
                                        "text 0,0,499,329 24 #00ff00 centre 5",
                                        "text 499,0,998,329 24 #00ff00 centre 6",
                                        "text 0,349,499,678 24 #00ff00 centre 7",
                                        "text 499,349,998,678 24 #00ff00 centre 8",
                                    }));
    EXPECT_FALSE(off->visible);
    grid.PageStep(false);
    draw();
    EXPECT_TRUE(off->visible);
}

struct ScaleCase {
    const char* name;
    int pictureWidth, pictureHeight;
    bool fit;
    const char* drawn;
};

class GridScaling : public Grid, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(GridScaling, ScalesOrKeepsAndCentres) {
    const ScaleCase& c = GetParam();
    init(321, 401, 1); // one picture area of 400 x 300
    ASSERT_EQ(grid.GetCell(1)->area, (ui::Rect{0, 0, 400, 300}));
    RTPPlayer* p = open(1);
    grid.GetCell(1)->fit = c.fit;
    draw();
    givePicture(*p, c.pictureWidth, c.pictureHeight);
    draw();
    ASSERT_EQ(surface.only("picture").size(), 1u);
    EXPECT_EQ(surface.only("picture")[0], "picture " + std::string(c.drawn) + " from " +
                                              std::to_string(c.pictureWidth) + "x" +
                                              std::to_string(c.pictureHeight));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, GridScaling,
    ::testing::Values(ScaleCase{"FitEnlarges", 200, 100, true, "1,51,400,250"},
                      ScaleCase{"SmallKeepsItsSize", 200, 100, false, "100,100,300,200"},
                      ScaleCase{"JustSmallerKeepsItsSize", 399, 299, false, "1,1,400,300"},
                      ScaleCase{"AsWideIsScaled", 400, 100, false, "1,101,400,200"},
                      ScaleCase{"AsTallIsScaled", 100, 300, false, "151,1,250,300"},
                      ScaleCase{"FitShrinks", 1280, 720, true, "1,38,400,262"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlayTime, MinutesThenHours) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "00:00"},         {999, "00:00"},         {61000, "01:01"},       {3599999, "59:59"},
        {3600000, "1:00:00"}, {36061000, "10:01:01"}, {259200000, "72:00:00"}};
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(ui::PlayTimeText(ms), text) << ms;
}

TEST_F(Grid, CaptionStatistics) {
    init();
    RTPPlayer* p = open(3, 0, 12);
    p->stats.bytes = 5 * 1024 + 1023;
    p->stats.decoded = 25;
    p->stats.firstDataMs = 1999;
    p->buffer.videoOut = 3500;
    p->buffer.lastVideoOut = 1000;
    clock.advanceMs(3599999);
    p->statusText = "等待码流..."_gbk;
    // Bytes in the last second outweigh the status.
    EXPECT_EQ(util::gbkToUtf8(ui::CaptionText(1, *p)), "1 粤B12343 CH12 5KB 59:59 25f 2s 1s");
    p->buffer.underrun = true;
    clock.advanceMs(1);
    EXPECT_EQ(util::gbkToUtf8(ui::CaptionText(1, *p)), "1 粤B12343 CH12 >>>5KB 1:00:00 25f 2s 1s");
    p->stats.bytes = 0;
    EXPECT_EQ(util::gbkToUtf8(ui::CaptionText(1, *p)), "1 粤B12343 CH12 等待码流...");
    p->statusText.clear();
    EXPECT_EQ(util::gbkToUtf8(ui::CaptionText(1, *p)), "1 粤B12343 CH12 >>>0KB 1:00:00 25f 2s 1s");
}

TEST_F(Grid, WaitingCaptionTurnsIntoStatisticsWhenBytesArrive) {
    init();
    RTPPlayer* p = open(1);
    grid.SetStatus(key(1), "等待码流..."_gbk);
    draw();
    clock.advanceMs(500);
    media::RTPmeta h;
    h.simch = key(1);
    h.PT = media::kPtH264;
    h.dataType = media::kVideoI;
    h.length = 4000;
    grid.OnFrame(h, std::string(4000, '\0'));
    clock.advanceMs(500);
    draw();
    EXPECT_EQ(surface.only("text"),
              (std::vector<std::string>{"text 0,154,103,174 10 #ffffff left 1 粤B12341 CH1  "
                                        "3KB 00:01 0f 0s 0s"}));
    EXPECT_EQ(p->statusText, "等待码流..."_gbk); // no picture yet: the status stays
}

struct SpanCase {
    uint32_t videoOut, lastVideoOut;
    const char* event; // "" for none
};

TEST_F(Grid, BufferEventsOnEveryTick) {
    const SpanCase cases[] = {{6000, 0, "6"}, {5001, 0, "6"}, {5000, 0, ""},
                              {400, 0, ""},   {399, 0, "7"},  {300, 0, "7"},
                              {0, 0, "7"},    {100, 200, "6"}}; // a negative span wraps
    init();
    RTPPlayer* p = open(1);
    for (const SpanCase& c : cases) {
        p->buffer.videoOut = c.videoOut;
        p->buffer.lastVideoOut = c.lastVideoOut;
        events.clear();
        draw();
        draw();
        const std::vector<std::string> want =
            *c.event ? std::vector<std::string>(2, std::string(c.event) + " 1:1 1")
                     : std::vector<std::string>{};
        EXPECT_EQ(events, want) << c.videoOut << " " << c.lastVideoOut;
    }

    // A frame that leaves more than 5 s queued says so at once.
    p->buffer.videoOut = 6000;
    p->buffer.lastVideoOut = 0;
    events.clear();
    media::RTPmeta h;
    h.simch = key(1);
    h.dataType = media::kTransparent;
    grid.OnFrame(h, "");
    EXPECT_EQ(events, (std::vector<std::string>{"6 1:1 1"}));
}

TEST_F(Grid, OwnerClosingPlayersFromBufferEvents) {
    init();
    for (int n = 1; n <= 5; ++n)
        open(n);
    std::vector<media::SIMCH> told;
    grid.OnChannelEvent = [&](const media::SIMCH& k, uint8_t code, uint8_t) {
        if (code != ui::EvBufferLow) return;
        told.push_back(k);
        grid.Close(key(3)); // another player, later in the walk
    };
    draw();
    EXPECT_EQ(told, (std::vector<media::SIMCH>{key(1), key(2), key(4), key(5)}));
    EXPECT_EQ(grid.players().size(), 4u);
}

} // namespace
