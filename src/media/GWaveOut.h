#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "media/SoundDevice.h"
#include "media/SystemSoundDevice.h"

namespace media {

// Plays 16-bit PCM through a sound device from a large ring, keeping two device buffers
// queued once two blocks are in hand.
//
// Threads: Open, Write, ResetRing and Close come from the owner's thread; completions run on
// the device's thread. One mutex guards the ring positions, the buffers' idle marks and
// lengths, isOpen and underruns: Write copies into the ring and pumps under it, a completion
// refills its buffer under it, so readPos and an idle buffer are never taken by both at once.
// The mutex is never held while waiting for the device (reset/close), and the device never
// holds its own lock while running a completion, so neither side can block the other for
// longer than one block copy.
class GWaveOut {
public:
    static constexpr size_t kRingBytes = 1048576;
    static constexpr size_t kBufferBytes = 32768;

    explicit GWaveOut(SoundDeviceFactory factory = SystemSoundDevice::make);
    ~GWaveOut();
    GWaveOut(const GWaveOut&) = delete;
    GWaveOut& operator=(const GWaveOut&) = delete;

    bool Open(int sampleRate, int bitsPerSample, int channels, int blockMs);
    // False when not open or when the ring cannot take the whole chunk (it is then dropped).
    bool Write(std::string_view pcm);
    size_t Buffered() const;
    // Empties the ring without touching the device.
    void ResetRing();
    void Close();

    bool isOpen() const;
    size_t blockBytes() const;
    unsigned underruns() const;
    // Buffers now with the device (0, 1 or 2).
    int busyBuffers() const;

private:
    struct Buffer {
        std::array<char, kBufferBytes> data{};
        size_t length = 0;
        bool idle = true;
    };
    enum class Fill { Queued, TooLittle, Refused };

    void onDone(int buffer, size_t bytes);
    size_t bufferedLocked() const;
    void pumpLocked();
    Fill fillLocked(int i);

    SoundDeviceFactory factory;
    // Created and destroyed on the owner's thread while no completion can run; the device's
    // own queue is safe to call from both threads.
    std::unique_ptr<SoundDevice> device;

    mutable std::mutex mutex; // guards everything below
    bool open = false;
    size_t block = 320;
    std::unique_ptr<Buffer[]> buffers; // two
    std::vector<char> ring;
    size_t readPos = 0;
    size_t writePos = 0;
    unsigned underrunCount = 0;
};

} // namespace media
