#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

#include "media/SoundDevice.h"
#include "media/SystemSoundDevice.h"

namespace media {

// Captures PCM from a sound device in fixed-length blocks, two buffers in turn.
//
// Threads: Open and Close come from the owner's thread; OnData runs on the device's thread.
// Set OnData before Open and leave it alone until Close, which returns only once no OnData
// call is running.
class GWaveIn {
public:
    static constexpr size_t kBufferBytes = 4096;

    explicit GWaveIn(SoundDeviceFactory factory = SystemSoundDevice::make);
    ~GWaveIn();
    GWaveIn(const GWaveIn&) = delete;
    GWaveIn& operator=(const GWaveIn&) = delete;

    bool Open(int sampleRate, int bitsPerSample, int channels, int blockMs, bool skipFirst);
    void Close();

    bool running() const { return isRunning.load(); }
    int blockMs() const { return blockMillis; }
    size_t blockBytes() const { return blockLength; }

    // One recorded block: its bytes and their count.
    std::function<void(const char* data, size_t count)> OnData;

private:
    void onDone(int buffer, size_t bytes);

    SoundDeviceFactory factory;
    std::unique_ptr<SoundDevice> device; // owner's thread; replaced only while no completion runs
    std::atomic<bool> isRunning{false};  // cleared by Close while completions may still run
    int blockMillis = 40;                // owner's thread
    size_t blockLength = 0;              // set before the device starts, then read-only
    bool skipFirst = false;              // set before the device starts, then device thread only
    std::array<std::array<char, kBufferBytes>, 2> buffers{};
};

} // namespace media
