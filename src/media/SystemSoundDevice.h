#pragma once

#include <memory>

#include "media/SoundDevice.h"

namespace media {

// The machine's default sound device, or the null device when there is none to open, so that
// the client plays, records and talks on a machine without sound hardware.
class SystemSoundDevice : public SoundDevice {
public:
    bool open(SoundDirection direction, const SoundFormat& format, Completion done) override;
    bool queue(int buffer, char* data, size_t bytes) override;
    void reset() override;
    void close() override;

    // Whether the open device is the null one.
    bool isNull() const { return null; }

    static std::unique_ptr<SoundDevice> make() { return std::make_unique<SystemSoundDevice>(); }

private:
    std::unique_ptr<SoundDevice> device;
    bool null = false;
};

} // namespace media
