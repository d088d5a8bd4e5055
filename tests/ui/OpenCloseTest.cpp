// Players in cells: opening, moving, restarting, closing, re-arranging, status and events.

#include <gtest/gtest.h>

#include "GridFixture.h"

using namespace tavrina_test;
using namespace util::literals;
using media::RTPPlayer;

namespace {

TEST_F(Grid, OpenFillsTheFirstFreeCellsOfThePage) {
    init(700, 1000, 2);
    RTPPlayer* p = open(1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->cell, 1);
    EXPECT_EQ(p->state, RTPPlayer::Playing);
    EXPECT_EQ(p->statusText, "画面打开"_gbk);
    EXPECT_EQ(p->displayName, "粤B1234"_gbk + "1");
    EXPECT_EQ(p->label(), "CH1 ");
    EXPECT_FALSE(p->audioOn);
    EXPECT_EQ(grid.GetCell(1)->player, p);
    EXPECT_EQ(grid.CountFree(), 3);
    EXPECT_EQ(grid.FirstFree(), 2);

    // Page 2 of 4-picture mode: cells 5 to 8.
    grid.firstCell = 5;
    grid.selectedCell = 5;
    grid.Layout(700, 1000, 2);
    for (int n = 2; n <= 5; ++n)
        ASSERT_NE(open(n), nullptr);
    EXPECT_EQ(grid.CountFree(), 0);
    EXPECT_EQ(grid.FirstFree(), 0);
    // Cells 2 to 4 and 9 to 20 are free, but not on the page on show.
    EXPECT_EQ(open(6), nullptr);
    EXPECT_EQ(grid.players().size(), 5u);
    EXPECT_EQ(occupancy(),
              (std::vector<int>{1, 0, 0, 0, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(grid.AllEmpty());
}

TEST_F(Grid, OpeningAnOpenKeyRestartsOrMovesIt) {
    init();
    for (int n = 1; n <= 7; ++n)
        open(n);
    RTPPlayer* seven = grid.GetCell(7)->player;
    seven->statusText = "x";
    grid.selectedCell = 1;
    draw();

    // Without a cell: nothing moves, cell 7 is selected and its player restarted.
    EXPECT_EQ(open(7), seven);
    EXPECT_EQ(seven->cell, 7);
    EXPECT_EQ(grid.selectedCell, 7);
    EXPECT_EQ(seven->statusText, "画面打开"_gbk);
    EXPECT_TRUE(grid.redrawAll);
    EXPECT_EQ(grid.players().size(), 7u);

    // Into cell 2: what cell 2 held is closed, the player moves and is selected.
    events.clear();
    EXPECT_EQ(open(7, 2), seven);
    EXPECT_EQ(events, (std::vector<std::string>{"0 2:1 1"}));
    EXPECT_EQ(seven->cell, 2);
    EXPECT_EQ(grid.GetCell(2)->player, seven);
    EXPECT_EQ(grid.GetCell(7)->player, nullptr);
    EXPECT_EQ(grid.selectedCell, 2);
    EXPECT_EQ(grid.players().count(key(2)), 0u);
    EXPECT_EQ(grid.players().size(), 6u);

    // Into the cell it already holds: a restart only.
    events.clear();
    EXPECT_EQ(open(7, 2), seven);
    EXPECT_TRUE(events.empty());
    // A cell number that does not exist means the first free cell.
    RTPPlayer* p = open(30, 25);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->cell, 7);
}

TEST_F(Grid, CloseStopsUnbindsAndTellsTheOwner) {
    init();
    open(4);
    open(5, 9);
    EXPECT_FALSE(grid.Close(key(99)));
    EXPECT_TRUE(events.empty());
    // The event comes first, while the player still plays.
    int stateAtEvent = -1;
    grid.OnChannelEvent = [&](const media::SIMCH& k, uint8_t code, uint8_t arg) {
        EXPECT_EQ(k, key(4));
        EXPECT_EQ(code, ui::EvClosed);
        EXPECT_EQ(arg, 1);
        stateAtEvent = grid.players().at(k)->state;
    };
    EXPECT_TRUE(grid.Close(key(4)));
    grid.OnChannelEvent = nullptr;
    EXPECT_EQ(stateAtEvent, RTPPlayer::Playing);
    EXPECT_EQ(grid.GetCell(1)->player, nullptr);
    EXPECT_TRUE(grid.GetCell(1)->dirty);
    EXPECT_EQ(grid.players().count(key(4)), 0u);

    grid.CloseCell(9);
    grid.CloseCell(9);
    grid.CloseCell(0);
    EXPECT_TRUE(grid.AllEmpty());
}

TEST_F(Grid, OwnerClosingFromTheCloseEventIsHarmless) {
    init();
    open(1);
    grid.OnChannelEvent = [&](const media::SIMCH& k, uint8_t, uint8_t) { grid.Close(k); };
    EXPECT_TRUE(grid.Close(key(1)));
    EXPECT_TRUE(grid.AllEmpty());
}

TEST_F(Grid, CompactKeepsTheOrderOfPlayers) {
    init();
    open(12, 2);
    open(15, 5);
    open(19, 9);
    grid.GetCell(5)->fit = false;
    grid.Compact();
    std::vector<int> want(20, 0);
    want[0] = 12, want[1] = 15, want[2] = 19;
    EXPECT_EQ(occupancy(), want);
    EXPECT_EQ(grid.players().at(key(19))->cell, 3);
    EXPECT_FALSE(grid.GetCell(2)->fit); // the fit flag travels with the picture
    EXPECT_TRUE(grid.GetCell(5)->fit);
}

TEST_F(Grid, SwapExchangesPlayersAndFitFlags) {
    init();
    open(1, 3);
    grid.GetCell(3)->fit = false;
    draw();
    grid.Swap(3, 8);
    EXPECT_EQ(grid.GetCell(8)->player->cell, 8);
    EXPECT_EQ(grid.GetCell(3)->player, nullptr);
    EXPECT_FALSE(grid.GetCell(8)->fit);
    EXPECT_TRUE(grid.GetCell(3)->fit);
    EXPECT_TRUE(grid.redrawAll);
    draw();
    grid.Swap(8, 21);
    EXPECT_NE(grid.GetCell(8)->player, nullptr);
    EXPECT_FALSE(grid.redrawAll);
}

TEST_F(Grid, StatusAndWaitNeedAPlayerInACell) {
    init();
    RTPPlayer* p = open(1);
    draw();
    grid.SetStatus(key(1), "建立通道..."_gbk);
    grid.SetWait(key(1), 10);
    EXPECT_EQ(p->statusText, "建立通道..."_gbk);
    EXPECT_EQ(p->waitSeconds, 10);
    EXPECT_TRUE(grid.GetCell(1)->dirty);
    grid.SetStatus(key(2), "x");
    grid.SetWait(key(2), 3);
    EXPECT_EQ(grid.players().size(), 1u);
}

TEST_F(Grid, FramesGoToTheirPlayer) {
    init();
    RTPPlayer* p = open(1);
    media::RTPmeta h;
    h.simch = key(1);
    h.PT = media::kPtH264;
    h.dataType = media::kVideoP;
    h.length = 3;
    grid.OnFrame(h, "abc");
    h.simch = key(2);
    grid.OnFrame(h, "abc");
    EXPECT_EQ(p->buffer.frameCount(), 1u);
    EXPECT_EQ(p->byteCount, 33u);
}

TEST_F(Grid, ClearClosesEverythingAndTheAudio) {
    init();
    open(1);
    open(2, 17);
    grid.SelectAudio(key(1));
    EXPECT_TRUE(grid.audioOutput().isOpen());
    grid.Clear();
    EXPECT_EQ(events, (std::vector<std::string>{"0 1:1 1", "0 2:1 1"}));
    EXPECT_FALSE(grid.audioOutput().isOpen());
    EXPECT_TRUE(grid.redrawAll);
    // Init again gives a fresh grid on the remembered mode and page.
    grid.selectedCell = 3;
    init(700, 1000, 2);
    EXPECT_EQ(grid.GetCell(20)->number, 20);
    EXPECT_EQ(grid.firstCell, 1);
}

} // namespace
