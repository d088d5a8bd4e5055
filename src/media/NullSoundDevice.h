#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "media/QueuedSoundDevice.h"

namespace media {

// A device for machines without sound hardware: it takes each played buffer, or records
// silence into each capture buffer, at the pace of real time.
class NullSoundDevice : public QueuedSoundDevice {
public:
    ~NullSoundDevice() override;

protected:
    bool openStream(SoundDirection direction, const SoundFormat& format) override;
    size_t transfer(char* data, size_t bytes) override;
    void interrupt() override;
    void closeStream() override {}

private:
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::condition_variable wakeUp;
    Clock::time_point due; // device thread only: when the queued sound ends
};

} // namespace media
