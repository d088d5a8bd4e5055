#include "media/GWaveOut.h"

#include <algorithm>
#include <cstring>

namespace media {

GWaveOut::GWaveOut(SoundDeviceFactory f)
    : factory(std::move(f)), buffers(std::make_unique<Buffer[]>(2)), ring(kRingBytes) {}

GWaveOut::~GWaveOut() {
    Close();
}

bool GWaveOut::Open(int sampleRate, int bitsPerSample, int channels, int blockMs) {
    Close();
    const SoundFormat format{sampleRate, bitsPerSample, channels};
    if (!format.valid() || !factory) return false;
    const size_t bps = static_cast<size_t>(format.bytesPerSecond());
    size_t bytes =
        std::min<size_t>(static_cast<size_t>(std::max(blockMs, 20)) * bps / 1000, kBufferBytes);
    // Whole sample frames only: a device cannot play half a frame.
    bytes -= bytes % static_cast<size_t>(format.blockAlign());
    if (bytes == 0) return false;

    auto dev = factory();
    if (!dev) return false;
    {
        std::lock_guard lock(mutex);
        block = bytes;
    }
    if (!dev->open(SoundDirection::Playback, format,
                   [this](int buffer, size_t played) { onDone(buffer, played); }))
        return false;
    device = std::move(dev);
    std::lock_guard lock(mutex);
    open = true;
    return true;
}

bool GWaveOut::Write(std::string_view pcm) {
    std::lock_guard lock(mutex);
    if (!open || kRingBytes - 1 - bufferedLocked() < pcm.size()) return false;
    const size_t first = std::min(pcm.size(), kRingBytes - writePos);
    std::memcpy(ring.data() + writePos, pcm.data(), first);
    std::memcpy(ring.data(), pcm.data() + first, pcm.size() - first);
    writePos = (writePos + pcm.size()) % kRingBytes;
    pumpLocked();
    return true;
}

size_t GWaveOut::Buffered() const {
    std::lock_guard lock(mutex);
    return bufferedLocked();
}

size_t GWaveOut::bufferedLocked() const {
    return (writePos + kRingBytes - readPos) % kRingBytes;
}

void GWaveOut::ResetRing() {
    std::lock_guard lock(mutex);
    readPos = writePos = 0;
    underrunCount = 0;
}

void GWaveOut::Close() {
    {
        std::lock_guard lock(mutex);
        open = false; // a completion still under way now leaves its buffer alone
    }
    if (device) {
        device->reset();
        device->close();
        device.reset();
    }
    std::lock_guard lock(mutex);
    underrunCount = 0;
    readPos = writePos = 0;
    for (int i = 0; i < 2; ++i) {
        buffers[i].length = 0;
        buffers[i].idle = true;
    }
}

bool GWaveOut::isOpen() const {
    std::lock_guard lock(mutex);
    return open;
}

size_t GWaveOut::blockBytes() const {
    std::lock_guard lock(mutex);
    return block;
}

unsigned GWaveOut::underruns() const {
    std::lock_guard lock(mutex);
    return underrunCount;
}

int GWaveOut::busyBuffers() const {
    std::lock_guard lock(mutex);
    return !buffers[0].idle + !buffers[1].idle;
}

void GWaveOut::pumpLocked() {
    // Playback starts only with two blocks in hand.
    if (buffers[0].idle && buffers[1].idle && bufferedLocked() < 2 * block) return;
    for (int i = 0; i < 2; ++i)
        if (buffers[i].idle && fillLocked(i) != Fill::Queued) return;
}

GWaveOut::Fill GWaveOut::fillLocked(int i) {
    if (bufferedLocked() < block) return Fill::TooLittle;
    Buffer& b = buffers[i];
    const size_t first = std::min(block, kRingBytes - readPos);
    std::memcpy(b.data.data(), ring.data() + readPos, first);
    std::memcpy(b.data.data() + first, ring.data(), block - first);
    b.length = block;
    b.idle = false;
    // A refused buffer leaves its bytes in the ring for the next try.
    if (!device->queue(i, b.data.data(), b.length)) {
        b.idle = true;
        return Fill::Refused;
    }
    readPos = (readPos + block) % kRingBytes;
    return Fill::Queued;
}

void GWaveOut::onDone(int buffer, size_t) {
    std::lock_guard lock(mutex);
    if (buffer < 0 || buffer > 1) return;
    buffers[buffer].idle = true;
    if (!open) return;
    if (fillLocked(buffer) == Fill::TooLittle) ++underrunCount;
}

} // namespace media
