#include "ui/LoopStats.h"

#include <gtest/gtest.h>

#include "api/CJvalue.h"

namespace {

TEST(LoopStats, PercentilesOfTheSecondAndOneLinePerSecond) {
    ui::LoopStats stats;
    for (int i = 1; i <= 100; ++i)
        stats.addTick(i); // 1..100 ms, in any order the loop gives
    std::vector<ui::LoopStats::Picture> pictures{
        {"00000000013912345678:1", 3, 1000, 25, 25, 480, 2, 230}};
    const std::string line =
        stats.line(util::encodeDateTime(2026, 1, 2, 3, 4, 5), 64u << 20, pictures);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    api::CJvalue v;
    ASSERT_TRUE(v.parse(line)) << line;
    EXPECT_EQ(v.get("time").text(), "2026-01-02 03:04:05");
    EXPECT_EQ(v.get("tick_ms").get("n").number(), 100);
    EXPECT_EQ(v.get("tick_ms").get("p50").number(), 50);
    EXPECT_EQ(v.get("tick_ms").get("p99").number(), 99);
    EXPECT_EQ(v.get("tick_ms").get("max").number(), 100);
    EXPECT_EQ(v.get("rss_mb").number(), 64);
    const api::CJvalue& p = v.get("pictures").get(0);
    EXPECT_EQ(p.get("key").text(), "00000000013912345678:1");
    EXPECT_EQ(p.get("cell").number(), 3);
    EXPECT_EQ(p.get("buffered_ms").number(), 480);
    EXPECT_EQ(p.get("dropped").number(), 2);
    EXPECT_EQ(p.get("start_ms").number(), 230);

    // The next second starts empty; no picture gives an empty list, not null.
    const std::string quiet = stats.line(0, 0, {});
    ASSERT_TRUE(v.parse(quiet));
    EXPECT_EQ(v.get("tick_ms").get("n").number(), 0);
    EXPECT_EQ(v.get("tick_ms").get("max").number(), 0);
    EXPECT_NE(quiet.find("\"pictures\":[]"), std::string::npos);
}

TEST(LoopStats, NearestRankPercentile) {
    std::vector<double> one{7};
    EXPECT_EQ(ui::LoopStats::percentile(one, 0.99), 7);
    std::vector<double> none;
    EXPECT_EQ(ui::LoopStats::percentile(none, 0.5), 0);
    std::vector<double> spread{30, 10, 20, 40};
    EXPECT_EQ(ui::LoopStats::percentile(spread, 0.5), 20);
    EXPECT_EQ(ui::LoopStats::percentile(spread, 0.99), 40);
    EXPECT_GT(ui::ResidentBytes(), 0u);
}

} // namespace
