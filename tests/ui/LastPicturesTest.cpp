#include "ui/LastPictures.h"

#include <gtest/gtest.h>

#include "util/GbkText.h"

namespace {

TEST(LastPictures, RoundTripAndRefusals) {
    ui::LastPictures saved;
    saved.mode = 3;
    saved.firstCell = 10;
    saved.entries = {{{"00000000013912345678", 1}, util::utf8ToGbk("粤B12345"), 10},
                     {{"00000000013912345678", 2}, util::utf8ToGbk("粤B12345"), 12}};
    ui::LastPictures back;
    ASSERT_TRUE(back.read(saved.write()));
    EXPECT_EQ(back.mode, 3);
    EXPECT_EQ(back.firstCell, 10);
    ASSERT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries[1].key, saved.entries[1].key);
    EXPECT_EQ(back.entries[1].vehicleName, saved.entries[1].vehicleName);
    EXPECT_EQ(back.entries[1].cell, 12);

    const char* bad[] = {
        "",
        "[]",
        R"({"mode":7,"first":1,"pictures":[]})",
        R"({"mode":4,"first":0,"pictures":[]})",
        R"({"mode":4,"first":1,"pictures":[{"sim":"1","ch":1,"name":"a","cell":21}]})",
        R"({"mode":4,"first":1,"pictures":[{"sim":"1x","ch":1,"name":"a","cell":2}]})",
        R"({"mode":4,"first":1,"pictures":[{"sim":"1","ch":256,"name":"a","cell":2}]})",
        R"({"mode":4,"first":1,"pictures":[{"sim":"1","ch":1.5,"name":"a","cell":2}]})",
        R"({"mode":4,"first":1,"pictures":[{"sim":"1","ch":1,"cell":2},{"sim":"2","ch":1,"cell":2}]})",
        R"({"mode":4,"first":1e30,"pictures":[]})",
    };
    for (const char* text : bad) {
        ui::LastPictures kept = back;
        EXPECT_FALSE(kept.read(text)) << text;
        EXPECT_EQ(kept.entries.size(), 2u) << text; // nothing changed
    }
    // An empty set is a set: nothing to reopen; short SIMs are padded back.
    ui::LastPictures none;
    ASSERT_TRUE(
        none.read(R"({"mode":4,"first":1,"pictures":[{"sim":"139","ch":0,"name":"","cell":1}]})"));
    EXPECT_EQ(none.entries[0].key.sim, "00000000000000000139");
}

} // namespace
