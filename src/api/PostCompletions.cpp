#include "api/PostCompletions.h"

#include "api/TPostThread.h"

namespace api {

void PostCompletions::handOver(TPostThread* worker) {
    std::unique_lock lock(mutex);
    if (closed) return;
    ready.push_back(worker);
    ownerWake.notify_all();
    workerWake.wait(lock, [&] { return worker->completed || closed; });
}

TPostThread* PostCompletions::next() {
    std::lock_guard lock(mutex);
    if (ready.empty()) return nullptr;
    TPostThread* w = ready.front();
    ready.pop_front();
    return w;
}

void PostCompletions::finish(TPostThread* worker) {
    std::lock_guard lock(mutex);
    worker->completed = true;
    workerWake.notify_all();
}

bool PostCompletions::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex);
    return ownerWake.wait_for(lock, limit, [&] { return !ready.empty() || closed; }) && !closed;
}

void PostCompletions::close() {
    std::lock_guard lock(mutex);
    closed = true;
    cancel.store(true);
    ready.clear();
    workerWake.notify_all();
    ownerWake.notify_all();
}

} // namespace api
