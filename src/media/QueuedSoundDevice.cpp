#include "media/QueuedSoundDevice.h"

namespace media {

// The stream is the subclass's and is gone by now (it called shutDown); only the thread is left.
QueuedSoundDevice::~QueuedSoundDevice() {
    stopWorker();
}

void QueuedSoundDevice::shutDown() {
    close();
}

bool QueuedSoundDevice::open(SoundDirection direction, const SoundFormat& format,
                             Completion completion) {
    close();
    if (!format.valid() || !openStream(direction, format)) return false;
    dir = direction;
    fmt = format;
    done = std::move(completion);
    {
        std::lock_guard lock(mutex);
        opened = true;
        stopping = false;
        busy = false;
    }
    worker = std::thread([this] { run(); });
    return true;
}

bool QueuedSoundDevice::queue(int buffer, char* data, size_t bytes) {
    if (data == nullptr || bytes == 0) return false;
    {
        std::lock_guard lock(mutex);
        if (!opened || stopping) return false;
        pending.push_back({buffer, data, bytes});
    }
    wake.notify_one();
    return true;
}

bool QueuedSoundDevice::interrupted() const {
    std::lock_guard lock(mutex);
    return stopping || taken != generation;
}

void QueuedSoundDevice::dropQueued(std::unique_lock<std::mutex>& lock) {
    pending.clear();
    ++generation;
    lock.unlock();
    interrupt();
    lock.lock();
    idle.wait(lock, [this] { return !busy; });
}

void QueuedSoundDevice::reset() {
    std::unique_lock lock(mutex);
    if (!opened) return;
    dropQueued(lock);
}

bool QueuedSoundDevice::stopWorker() {
    {
        std::unique_lock lock(mutex);
        if (!opened) return false;
        stopping = true;
        wake.notify_all();
        dropQueued(lock);
    }
    if (worker.joinable()) worker.join();
    return true;
}

void QueuedSoundDevice::close() {
    if (!stopWorker()) return;
    closeStream();
    std::lock_guard lock(mutex);
    opened = false;
    stopping = false;
    done = nullptr;
}

void QueuedSoundDevice::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !pending.empty(); });
        if (stopping) return;
        const Item item = pending.front();
        pending.pop_front();
        busy = true;
        taken = generation;
        lock.unlock();
        const size_t moved = transfer(item.data, item.bytes);
        lock.lock();
        if (taken == generation && !stopping) {
            lock.unlock();
            done(item.buffer, moved);
            lock.lock();
        }
        busy = false;
        idle.notify_all();
    }
}

} // namespace media
