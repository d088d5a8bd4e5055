#include "media/SystemSoundDevice.h"

#include "media/NullSoundDevice.h"
#include "media/PortAudioDevice.h"

namespace media {

bool SystemSoundDevice::open(SoundDirection direction, const SoundFormat& format, Completion done) {
    close();
    if (!format.valid()) return false;
    device = std::make_unique<PortAudioDevice>();
    null = false;
    if (device->open(direction, format, done)) return true;
    device = std::make_unique<NullSoundDevice>();
    null = true;
    if (device->open(direction, format, std::move(done))) return true;
    device.reset();
    return false;
}

bool SystemSoundDevice::queue(int buffer, char* data, size_t bytes) {
    return device && device->queue(buffer, data, bytes);
}

void SystemSoundDevice::reset() {
    if (device) device->reset();
}

void SystemSoundDevice::close() {
    if (device) device->close();
    device.reset();
}

} // namespace media
