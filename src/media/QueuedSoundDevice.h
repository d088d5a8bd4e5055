#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "media/SoundDevice.h"

namespace media {

// The buffer queue and completion thread shared by the real and the null device: one thread
// takes the queued buffers in order, has the subclass play or fill each one, and reports it.
class QueuedSoundDevice : public SoundDevice {
public:
    ~QueuedSoundDevice() override;

    bool open(SoundDirection direction, const SoundFormat& format, Completion done) final;
    bool queue(int buffer, char* data, size_t bytes) final;
    void reset() final;
    void close() final;

protected:
    virtual bool openStream(SoundDirection direction, const SoundFormat& format) = 0;
    // Plays or fills one buffer on the device thread; returns the bytes transferred. Should
    // return early once interrupted() turns true.
    virtual size_t transfer(char* data, size_t bytes) = 0;
    // Wakes a transfer that is waiting; called by reset and close from the owner's thread.
    virtual void interrupt() {}
    virtual void closeStream() = 0;

    bool interrupted() const;
    SoundDirection direction() const { return dir; }
    const SoundFormat& format() const { return fmt; }

    // Subclasses call this first in their destructor, while their stream still exists.
    void shutDown();

private:
    struct Item {
        int buffer;
        char* data;
        size_t bytes;
    };

    void run();
    // Stops and joins the thread; false when the device was not open.
    bool stopWorker();
    void dropQueued(std::unique_lock<std::mutex>& lock);

    SoundDirection dir = SoundDirection::Playback;
    SoundFormat fmt;
    Completion done; // set before the thread starts, read only by it

    // Guards everything below; never held while a transfer or a completion runs.
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Item> pending;
    bool opened = false;
    bool stopping = false;
    bool busy = false;       // the thread is between taking an item and finishing its completion
    uint64_t generation = 0; // bumped by reset: a transfer begun before it is not reported
    uint64_t taken = 0;      // the generation of the transfer under way
    std::thread worker;
};

} // namespace media
