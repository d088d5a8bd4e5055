#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace api {

class TPostThread;

// The one hand-over from request workers to the owner's thread. A worker that has finished
// its exchange queues itself and waits until the owner has run its completion (or the queue
// is closed); the owner takes the workers one by one on its own thread.
class PostCompletions {
public:
    // Worker thread. Returns once `finish` ran for `worker`, or at once when closed.
    void handOver(TPostThread* worker);

    // Owner thread: the next finished worker, or nullptr.
    TPostThread* next();
    // Owner thread: lets a worker taken with `next` end.
    void finish(TPostThread* worker);
    // Owner thread: waits until a finished worker is queued; false on time-out or closed.
    bool wait(std::chrono::milliseconds limit);

    // Owner going away: every waiting worker returns, exchanges in progress are abandoned.
    void close();
    const std::atomic<bool>& cancelled() const { return cancel; }

private:
    std::mutex mutex;
    std::condition_variable workerWake;
    std::condition_variable ownerWake;
    std::deque<TPostThread*> ready; // guarded by mutex
    bool closed = false;            // guarded by mutex
    std::atomic<bool> cancel{false};
};

} // namespace api
