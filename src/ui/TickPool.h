#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ui {

// A few threads that run the independent jobs of one batch beside the calling thread, which
// takes part and returns only when every job of the batch has finished. Between batches the
// threads sleep.
class TickPool {
public:
    // `workers` threads besides the caller; 0 runs every batch on the caller alone.
    explicit TickPool(int workers);
    ~TickPool();
    TickPool(const TickPool&) = delete;
    TickPool& operator=(const TickPool&) = delete;

    // Runs job(0) .. job(count - 1), each exactly once, in any order and on any of the
    // threads. The first exception a job throws is thrown here once the batch is done.
    void Run(size_t count, const std::function<void(size_t)>& job);

    int workers() const { return static_cast<int>(threads.size()); }

private:
    void work(size_t own);
    void drain(size_t own);

    std::vector<std::thread> threads;

    // Guarded by `mutex`: the batch on offer and the threads' handshake.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    const std::function<void(size_t)>* batch = nullptr;
    size_t batchSize = 0;
    uint64_t generation = 0;
    int busy = 0; // workers inside the current batch
    bool stopping = false;
    std::exception_ptr failure;

    // Job i belongs to slot i mod slots: slot 0 is the caller's, slot t the t-th worker's.
    // The count of a slot's jobs taken so far, by every thread without the lock.
    size_t slots;
    std::unique_ptr<std::atomic<size_t>[]> next;
};

} // namespace ui
