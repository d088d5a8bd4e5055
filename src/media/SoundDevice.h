#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace media {

// PCM layout of a sound device: interleaved little-endian samples.
struct SoundFormat {
    int sampleRate = 8000;
    int bitsPerSample = 16;
    int channels = 1;

    int blockAlign() const { return channels * bitsPerSample / 8; }
    int bytesPerSecond() const { return sampleRate * blockAlign(); }
    // Rates from 1 kHz to 384 kHz, 1 to 8 channels, 8/16/24/32-bit samples.
    bool valid() const {
        return sampleRate >= 1000 && sampleRate <= 384000 && channels >= 1 && channels <= 8 &&
               (bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 ||
                bitsPerSample == 32);
    }
};

enum class SoundDirection { Playback, Capture };

// One sound device, driven the way the wave devices of the system are: the owner queues
// buffers that stay its own; the device plays (or fills) them in order and reports each one
// finished on the device's own thread.
class SoundDevice {
public:
    // buffer: the id given to queue; bytes: what was played, or recorded into the buffer.
    using Completion = std::function<void(int buffer, size_t bytes)>;

    virtual ~SoundDevice() = default;

    // Opens the device and starts it; completions go to done.
    virtual bool open(SoundDirection direction, const SoundFormat& format, Completion done) = 0;
    // The memory must stay valid and untouched until its completion, reset or close.
    virtual bool queue(int buffer, char* data, size_t bytes) = 0;
    // Drops every queued buffer without completing it and returns once no completion is
    // running. Never called from a completion.
    virtual void reset() = 0;
    // Reset, then release the device; no completion runs after it returns.
    virtual void close() = 0;
};

using SoundDeviceFactory = std::function<std::unique_ptr<SoundDevice>()>;

} // namespace media
