// The pool that runs the players' ticks of one draw side by side.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ui/TickPool.h"

namespace {

TEST(TickPool, EveryJobOfEveryBatchRunsOnce) {
    ui::TickPool pool(3);
    ASSERT_EQ(pool.workers(), 3);
    for (size_t batch = 0; batch < 2000; ++batch) {
        const size_t count = batch % 23;
        std::vector<std::atomic<int>> runs(count);
        pool.Run(count, [&](size_t i) { runs[i].fetch_add(1); });
        // Run has returned: every job is over, none is still running.
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(runs[i].load(), 1) << batch << " " << i;
    }
}

TEST(TickPool, JobsRunSideBySide) {
    ui::TickPool pool(1);
    std::mutex m;
    std::condition_variable cv;
    int inside = 0;
    std::set<std::thread::id> threads;
    bool met = false;
    pool.Run(2, [&](size_t) {
        std::unique_lock lock(m);
        threads.insert(std::this_thread::get_id());
        ++inside;
        cv.notify_all();
        // Both jobs inside at once: proof that the worker took one while the caller held the
        // other. The time-out only keeps a broken pool from hanging the suite.
        if (cv.wait_for(lock, std::chrono::seconds(10), [&] { return inside == 2; })) met = true;
    });
    EXPECT_TRUE(met);
    EXPECT_EQ(threads.size(), 2u);
}

TEST(TickPool, WithoutWorkersTheCallerRunsTheBatchInOrder) {
    ui::TickPool pool(0);
    std::vector<size_t> order;
    const std::thread::id caller = std::this_thread::get_id();
    pool.Run(5, [&](size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
}

TEST(TickPool, AFailingJobIsReportedAfterTheBatch) {
    ui::TickPool pool(2);
    std::atomic<int> runs{0};
    EXPECT_THROW(pool.Run(50,
                          [&](size_t i) {
                              runs.fetch_add(1);
                              if (i == 7) throw std::runtime_error("bad tick");
                          }),
                 std::runtime_error);
    EXPECT_EQ(runs.load(), 50);
    // The pool goes on working.
    runs = 0;
    pool.Run(10, [&](size_t) { runs.fetch_add(1); });
    EXPECT_EQ(runs.load(), 10);
}

} // namespace
