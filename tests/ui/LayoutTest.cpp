// Split modes, cell rectangles and paging.

#include <gtest/gtest.h>

#include "GridFixture.h"

using namespace tavrina_test;
using ui::Rect;

namespace {

struct LayoutCase {
    uint16_t height, width;
    uint8_t requested, settled;
    int cellWidth, cellHeight;
};

class GridLayout : public Grid, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(GridLayout, ModeFallsThroughAndCellsTileTheSurface) {
    const LayoutCase& c = GetParam();
    init(c.height, c.width, c.requested);
    EXPECT_EQ(grid.mode, c.settled);
    const int count = ui::MultiPlayer::PicturesPerPage(grid.mode);
    const int columns = c.settled == 4                     ? 5
                        : c.settled == 3 || c.settled == 6 ? 3
                        : c.settled == 1                   ? 1
                                                           : 2;
    for (int i = 0; i < count && c.settled != 6; ++i) {
        const Rect a = grid.GetCell(static_cast<uint8_t>(1 + i))->area;
        const int left = i % columns * c.cellWidth, top = i / columns * c.cellHeight;
        EXPECT_EQ(a, (Rect{left, top, left + c.cellWidth, top + c.cellHeight - 20})) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, GridLayout,
    ::testing::Values(LayoutCase{700, 1000, 4, 4, 199, 174}, // picture areas 154 high
                      LayoutCase{600, 1000, 4, 3, 333, 199}, // below 665 high
                      LayoutCase{665, 880, 4, 4, 175, 166},  // the limits themselves
                      LayoutCase{665, 879, 4, 3, 292, 221},
                      LayoutCase{480, 500, 6, 2, 249, 239},  // narrower than 535
                      LayoutCase{300, 1000, 5, 1, 999, 299}, // lower than 333
                      LayoutCase{400, 1000, 4, 2, 499, 199}, // 20 -> 9 -> 4
                      LayoutCase{300, 300, 4, 1, 299, 299},  // 20 -> 9 -> 4 -> 1
                      LayoutCase{700, 1000, 0, 1, 999, 699},
                      LayoutCase{700, 1000, 9, 3, 333, 233}, // above 6 counts as 9 pictures
                      LayoutCase{400, 600, 5, 5, 299, 399}));

TEST_F(Grid, SixPicturesGiveTheFirstTwoByTwoSlots) {
    init(700, 1000, 6);
    ASSERT_EQ(grid.mode, 6);
    const Rect expected[6] = {{0, 0, 666, 446},   {666, 0, 999, 213},   {666, 233, 999, 446},
                              {0, 466, 333, 679}, {333, 466, 666, 679}, {666, 466, 999, 679}};
    for (uint8_t n = 1; n <= 6; ++n)
        EXPECT_EQ(grid.GetCell(n)->area, expected[n - 1]) << int(n);
}

TEST_F(Grid, LayoutKeepsTheSelectedCellOnThePage) {
    init(700, 1000, 4);
    grid.selectedCell = 15;
    grid.Layout(700, 1000, 3);
    EXPECT_EQ(grid.firstCell, 7);
    grid.selectedCell = 3;
    grid.Layout(700, 1000, 3);
    EXPECT_EQ(grid.firstCell, 3);
    grid.selectedCell = 20;
    grid.Layout(700, 1000, 2);
    EXPECT_EQ(grid.firstCell, 17);
}

struct StepCase {
    const char* name;
    uint8_t mode, first, selected;
    bool page, forward;
    uint8_t wantFirst, wantSelected;
};

class GridPaging : public Grid, public ::testing::WithParamInterface<StepCase> {};

TEST_P(GridPaging, StepsAndClamps) {
    const StepCase& c = GetParam();
    init(700, 1000, c.mode);
    grid.firstCell = c.first;
    grid.selectedCell = c.selected;
    if (c.page)
        grid.PageStep(c.forward);
    else
        grid.CellStep(c.forward);
    EXPECT_EQ(grid.firstCell, c.wantFirst);
    EXPECT_EQ(grid.selectedCell, c.wantSelected);
}

INSTANTIATE_TEST_SUITE_P(Steps, GridPaging,
                         ::testing::Values(
                             // 19 is clamped by the layout to the last page, 12 to 20.
                             StepCase{"NinePageForwardClamped", 3, 10, 10, true, true, 12, 19},
                             StepCase{"NineLastPageForward", 3, 12, 15, true, true, 12, 15},
                             StepCase{"FourPageBackToOne", 2, 3, 5, true, false, 1, 4},
                             StepCase{"FourPageBack", 2, 13, 14, true, false, 9, 12},
                             StepCase{"PageBackAtOne", 4, 1, 7, true, false, 1, 7},
                             StepCase{"FourPageForward", 2, 5, 5, true, true, 9, 9},
                             StepCase{"CellForward", 3, 1, 1, false, true, 2, 2},
                             StepCase{"CellBack", 3, 5, 13, false, false, 4, 12},
                             StepCase{"CellBackAtOne", 3, 1, 4, false, false, 1, 4},
                             StepCase{"CellForwardAtEnd", 3, 12, 12, false, true, 12, 12}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Grid, StepsRepaintAndCellsOffThePageKeepTheirPlace) {
    init(700, 1000, 3);
    const Rect firstSlot = grid.GetCell(1)->area;
    draw();
    grid.PageStep(true);
    EXPECT_EQ(grid.firstCell, 10);
    EXPECT_TRUE(grid.redrawAll);
    EXPECT_EQ(grid.GetCell(10)->area, firstSlot);
    EXPECT_EQ(grid.GetCell(1)->area, firstSlot); // not moved, not drawn, not hit
    grid.MouseDown(ui::mbLeft, 10, 10);
    EXPECT_EQ(grid.pressedCell(), 10);

    // A step that changes nothing repaints nothing.
    grid.firstCell = 12;
    grid.selectedCell = 12;
    grid.Layout(700, 1000, 3);
    draw();
    grid.PageStep(true);
    EXPECT_FALSE(grid.redrawAll);
}

TEST_F(Grid, NothingActsWithoutASurface) {
    EXPECT_FALSE(grid.Layout(700, 1000, 4));
    EXPECT_TRUE(grid.SizeUnchanged(1, 2));
    EXPECT_EQ(open(1), nullptr);
    grid.PageStep(true);
    grid.MouseDown(ui::mbLeft, 5, 5);
    grid.Draw();
    EXPECT_EQ(grid.firstCell, 1);
    EXPECT_EQ(grid.GetCell(1), nullptr);
    EXPECT_TRUE(surface.ops.empty());

    init(700, 1000);
    EXPECT_TRUE(grid.SizeUnchanged(700, 1000));
    EXPECT_FALSE(grid.SizeUnchanged(700, 999));
    open(1);
    grid.Clear();
    EXPECT_EQ(surface.ops.back(), "fill 0,0,1000,700 #000000");
    EXPECT_EQ(grid.surface(), nullptr);
    EXPECT_EQ(grid.GetCell(1), nullptr);
    EXPECT_TRUE(grid.players().empty());
    EXPECT_EQ(grid.mode, 4); // the mode survives
}

} // namespace
