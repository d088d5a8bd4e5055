#include "util/Clock.h"
#include "util/Stopwatch.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(FakeClock, AdvanceMovesBothTimesAndStaysExact) {
    util::FakeClock clock(1000, util::encodeDateTime(2026, 12, 31, 23, 59, 59));
    for (int i = 0; i < 1000; ++i)
        clock.advanceMs(1);
    EXPECT_EQ(clock.monotonicMs(), 2000u);
    // A thousand 1 ms steps land exactly on the next second, across a year boundary.
    EXPECT_EQ(util::formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", clock.now()),
              "2027-01-01 00:00:00.000");
    EXPECT_DOUBLE_EQ(clock.now(), util::encodeDateTime(2027, 1, 1, 0, 0, 0));
}

TEST(FakeClock, SettersAreIndependent) {
    util::FakeClock clock;
    clock.advanceMs(500);
    clock.setNow(46366.5);
    EXPECT_EQ(clock.monotonicMs(), 500u);
    EXPECT_DOUBLE_EQ(clock.now(), 46366.5);
    clock.setMonotonicMs(7);
    EXPECT_DOUBLE_EQ(clock.now(), 46366.5);
    clock.advanceMs(60'000);
    EXPECT_EQ(clock.monotonicMs(), 60'007u);
    EXPECT_EQ(util::formatDateTime("hh:nn:ss", clock.now()), "12:01:00");
}

TEST(SystemClock, FollowsRealTime) {
    util::Clock& clock = util::systemClock();
    EXPECT_EQ(&clock, &util::systemClock());
    const uint64_t before = clock.monotonicMs();
    util::Stopwatch watch;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double elapsed = watch.elapsedMs();
    const uint64_t after = clock.monotonicMs();
    EXPECT_GE(elapsed, 30.0);
    EXPECT_LT(elapsed, 5000.0);
    EXPECT_GE(after - before, 29u);
    EXPECT_NEAR(clock.now(), util::nowLocal(), 2.0 / 86400);
    watch.restart();
    EXPECT_LT(watch.elapsedMs(), elapsed);
}

} // namespace
