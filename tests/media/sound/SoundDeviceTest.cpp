// The threaded devices: completions in order on the device thread, reset and close semantics,
// the fallback to the null device, and PortAudio where the machine has a device.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "media/NullSoundDevice.h"
#include "media/PortAudioDevice.h"
#include "media/SystemSoundDevice.h"

namespace {

// Collects completions from the device thread.
struct Completions {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> buffers;
    std::vector<size_t> bytes;
    bool onOtherThread = true;
    std::thread::id self = std::this_thread::get_id();

    media::SoundDevice::Completion callback() {
        return [this](int buffer, size_t n) {
            std::lock_guard lock(mutex);
            buffers.push_back(buffer);
            bytes.push_back(n);
            if (std::this_thread::get_id() == self) onOtherThread = false;
            changed.notify_all();
        };
    }
    void waitFor(size_t count) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return buffers.size() >= count; });
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return buffers.size();
    }
};

constexpr media::SoundFormat k8k{8000, 16, 1};

} // namespace

TEST(NullSoundDevice, PlaysQueuedBuffersInOrderOnItsThread) {
    media::NullSoundDevice dev;
    Completions done;
    ASSERT_TRUE(dev.open(media::SoundDirection::Playback, k8k, done.callback()));
    std::vector<char> a(160), b(80), c(160);
    ASSERT_TRUE(dev.queue(7, a.data(), a.size()));
    ASSERT_TRUE(dev.queue(3, b.data(), b.size()));
    ASSERT_TRUE(dev.queue(7, c.data(), c.size()));
    done.waitFor(3);
    EXPECT_EQ(done.buffers, (std::vector<int>{7, 3, 7}));
    EXPECT_EQ(done.bytes, (std::vector<size_t>{160, 80, 160}));
    EXPECT_TRUE(done.onOtherThread);
    dev.close();
    EXPECT_FALSE(dev.queue(1, a.data(), a.size()));
}

TEST(NullSoundDevice, CaptureRecordsSilence) {
    for (const int bits : {8, 16}) {
        media::NullSoundDevice dev;
        Completions done;
        ASSERT_TRUE(dev.open(media::SoundDirection::Capture, {8000, bits, 1}, done.callback()));
        std::vector<char> buf(64, 'x');
        ASSERT_TRUE(dev.queue(0, buf.data(), buf.size()));
        done.waitFor(1);
        dev.close();
        EXPECT_EQ(buf, std::vector<char>(64, bits == 8 ? '\x80' : '\0')) << bits;
    }
}

TEST(NullSoundDevice, ResetDropsQueuedBuffersWithoutCompletingThem) {
    media::NullSoundDevice dev;
    Completions done;
    ASSERT_TRUE(dev.open(media::SoundDirection::Playback, k8k, done.callback()));
    // Ten seconds of sound: reset must cut the buffer under way short, not wait for it.
    std::vector<char> longBuffer(160000), next(160);
    ASSERT_TRUE(dev.queue(0, longBuffer.data(), longBuffer.size()));
    ASSERT_TRUE(dev.queue(1, next.data(), next.size()));
    dev.reset();
    EXPECT_EQ(done.count(), 0u);
    // Still open: new buffers play.
    ASSERT_TRUE(dev.queue(2, next.data(), next.size()));
    done.waitFor(1);
    EXPECT_EQ(done.buffers, std::vector<int>{2});
    dev.close();
    dev.close(); // twice is harmless
}

TEST(NullSoundDevice, RefusesBadFormatsAndEmptyBuffers) {
    media::NullSoundDevice dev;
    Completions done;
    EXPECT_FALSE(dev.open(media::SoundDirection::Playback, {8000, 16, 0}, done.callback()));
    std::vector<char> buf(16);
    EXPECT_FALSE(dev.queue(0, buf.data(), buf.size())); // not open
    ASSERT_TRUE(dev.open(media::SoundDirection::Playback, k8k, done.callback()));
    EXPECT_FALSE(dev.queue(0, buf.data(), 0));
    EXPECT_FALSE(dev.queue(0, nullptr, 16));
}

// Whatever the machine has, the system device opens: the real device, or the null one.
TEST(SystemSoundDevice, AlwaysOpens) {
    for (const auto direction : {media::SoundDirection::Playback, media::SoundDirection::Capture}) {
        media::SystemSoundDevice dev;
        Completions done;
        ASSERT_TRUE(dev.open(direction, k8k, done.callback()));
        std::vector<char> buf(320);
        ASSERT_TRUE(dev.queue(0, buf.data(), buf.size()));
        done.waitFor(1);
        dev.close();
    }
    media::SystemSoundDevice dev;
    EXPECT_FALSE(dev.open(media::SoundDirection::Playback, {8000, 7, 1}, nullptr));
}

TEST(PortAudioDevice, PlaysWhereADeviceExists) {
    media::PortAudioDevice dev;
    Completions done;
    if (!dev.open(media::SoundDirection::Playback, k8k, done.callback()))
        GTEST_SKIP() << "no sound output device on this machine";
    std::vector<char> buf(640);
    ASSERT_TRUE(dev.queue(0, buf.data(), buf.size()));
    ASSERT_TRUE(dev.queue(1, buf.data(), buf.size()));
    done.waitFor(2);
    EXPECT_EQ(done.buffers, (std::vector<int>{0, 1}));
    dev.close();
}
