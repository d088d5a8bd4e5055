#include "media/NullSoundDevice.h"

#include <cstring>

namespace media {

NullSoundDevice::~NullSoundDevice() {
    shutDown();
}

bool NullSoundDevice::openStream(SoundDirection, const SoundFormat&) {
    due = Clock::time_point();
    return true;
}

size_t NullSoundDevice::transfer(char* data, size_t bytes) {
    const SoundFormat& f = format();
    if (direction() == SoundDirection::Capture)
        std::memset(data, f.bitsPerSample == 8 ? 0x80 : 0, bytes);
    // Buffers queued back to back follow each other without drift; after a gap time starts anew.
    const Clock::time_point now = Clock::now();
    if (due < now) due = now;
    due += std::chrono::microseconds(static_cast<int64_t>(bytes) * 1000000 / f.bytesPerSecond());
    std::unique_lock lock(mutex);
    if (wakeUp.wait_until(lock, due, [this] { return interrupted(); })) {
        due = Clock::time_point(); // the rest of this buffer never plays
        return 0;
    }
    return bytes;
}

void NullSoundDevice::interrupt() {
    { std::lock_guard lock(mutex); }
    wakeUp.notify_all();
}

} // namespace media
