#include "ui/TickPool.h"

#include <algorithm>

namespace ui {

TickPool::TickPool(int workers)
    : slots(static_cast<size_t>(std::max(workers, 0)) + 1),
      next(std::make_unique<std::atomic<size_t>[]>(slots)) {
    for (int i = 0; i < workers; ++i)
        threads.emplace_back([this, i] { work(static_cast<size_t>(i) + 1); });
}

TickPool::~TickPool() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& t : threads)
        t.join();
}

void TickPool::Run(size_t count, const std::function<void(size_t)>& job) {
    if (count == 0) return;
    {
        std::lock_guard lock(mutex);
        batch = &job;
        batchSize = count;
        for (size_t t = 0; t < slots; ++t)
            next[t].store(0, std::memory_order_relaxed);
        failure = nullptr;
        ++generation;
    }
    // A batch of one is not worth waking anybody for.
    if (count > 1) wake.notify_all();
    drain(0);
    std::unique_lock lock(mutex);
    // Workers that never woke for this batch find it taken and leave it alone.
    done.wait(lock, [this] { return busy == 0; });
    batch = nullptr;
    batchSize = 0;
    if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
}

void TickPool::drain(size_t own) {
    // `batch` and `batchSize` stay fixed while any thread is inside the batch. Each thread
    // runs the jobs of its own slot first (the same players every time, whose decoders then
    // stay in its core's cache), then helps with whatever the others have left.
    for (size_t n = 0; n < slots; ++n) {
        const size_t slot = (own + n) % slots;
        for (;;) {
            const size_t i = slot + next[slot].fetch_add(1, std::memory_order_relaxed) * slots;
            if (i >= batchSize) break;
            try {
                (*batch)(i);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
            }
        }
    }
}

void TickPool::work(size_t own) {
    uint64_t seen = 0;
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || (generation != seen && batch != nullptr); });
        if (stopping) return;
        seen = generation;
        ++busy;
        lock.unlock();
        drain(own);
        lock.lock();
        if (--busy == 0) done.notify_one();
    }
}

} // namespace ui
