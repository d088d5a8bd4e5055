#include "ui/TickPool.h"

namespace ui {

TickPool::TickPool(int workers) {
    for (int i = 0; i < workers; ++i)
        threads.emplace_back([this] { work(); });
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
        next.store(0, std::memory_order_relaxed);
        failure = nullptr;
        ++generation;
    }
    // A batch of one is not worth waking anybody for.
    if (count > 1) wake.notify_all();
    drain();
    std::unique_lock lock(mutex);
    // Workers that never woke for this batch find it taken and leave it alone.
    done.wait(lock, [this] { return busy == 0; });
    batch = nullptr;
    batchSize = 0;
    if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
}

void TickPool::drain() {
    // `batch` and `batchSize` stay fixed while any thread is inside the batch.
    for (;;) {
        const size_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= batchSize) return;
        try {
            (*batch)(i);
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
        }
    }
}

void TickPool::work() {
    uint64_t seen = 0;
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || (generation != seen && batch != nullptr); });
        if (stopping) return;
        seen = generation;
        ++busy;
        lock.unlock();
        drain();
        lock.lock();
        if (--busy == 0) done.notify_one();
    }
}

} // namespace ui
