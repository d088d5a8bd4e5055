#include "media/GWaveIn.h"

#include <algorithm>

namespace media {

GWaveIn::GWaveIn(SoundDeviceFactory f) : factory(std::move(f)) {}

GWaveIn::~GWaveIn() {
    Close();
}

bool GWaveIn::Open(int sampleRate, int bitsPerSample, int channels, int ms, bool skip) {
    Close();
    blockMillis = std::max(ms, 5);
    skipFirst = skip;
    const SoundFormat format{sampleRate, bitsPerSample, channels};
    if (!format.valid() || !factory) return false;
    const size_t bps = static_cast<size_t>(format.bytesPerSecond());
    size_t bytes = bps * static_cast<size_t>(blockMillis) / 1000;
    if (bytes > kBufferBytes) {
        bytes = kBufferBytes;
        blockMillis = static_cast<int>(4096000 / bps);
    }
    // Whole sample frames only.
    bytes -= bytes % static_cast<size_t>(format.blockAlign());
    if (bytes == 0) return false;
    blockLength = bytes;

    device = factory();
    if (!device) return false;
    isRunning = true;
    if (!device->open(SoundDirection::Capture, format,
                      [this](int buffer, size_t got) { onDone(buffer, got); }) ||
        !device->queue(0, buffers[0].data(), blockLength) ||
        !device->queue(1, buffers[1].data(), blockLength)) {
        Close();
        return false;
    }
    return true;
}

void GWaveIn::Close() {
    isRunning = false;
    if (device) {
        device->reset();
        device->close();
        device.reset();
    }
    blockLength = 0;
}

void GWaveIn::onDone(int buffer, size_t bytes) {
    if (buffer < 0 || buffer > 1) return;
    if (skipFirst) {
        skipFirst = false;
    } else if (OnData && isRunning) {
        OnData(buffers[buffer].data(), std::min(bytes, blockLength));
    }
    if (isRunning) device->queue(buffer, buffers[buffer].data(), blockLength);
}

} // namespace media
