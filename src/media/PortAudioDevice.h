#pragma once

#include <memory>

#include "media/QueuedSoundDevice.h"

namespace media {

// The machine's default sound device through PortAudio's blocking streams.
class PortAudioDevice : public QueuedSoundDevice {
public:
    PortAudioDevice();
    ~PortAudioDevice() override;

protected:
    bool openStream(SoundDirection direction, const SoundFormat& format) override;
    size_t transfer(char* data, size_t bytes) override;
    void closeStream() override;

private:
    struct Session;
    struct StreamCloser {
        void operator()(void* stream) const;
    };
    std::unique_ptr<Session> session;           // the library stays initialised while open
    std::unique_ptr<void, StreamCloser> stream; // PaStream
};

} // namespace media
