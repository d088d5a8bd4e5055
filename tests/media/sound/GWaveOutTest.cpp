// GWaveOut on a scripted device: block sizes, the two-block start, refills and underruns, the
// full ring; and a stress run with completions on the device's own thread.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include "media/GWaveOut.h"
#include "media/QueuedSoundDevice.h"
#include "sound/FakeSoundDevice.h"

using media::GWaveOut;
using tavrina_test::FakeSoundDevice;
using tavrina_test::FakeSoundScript;

namespace {

// Bytes that tell their own position, so any reordering or loss shows.
std::string pattern(size_t from, size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    return s;
}

class WaveOut : public ::testing::Test {
protected:
    std::shared_ptr<FakeSoundScript> dev = std::make_shared<FakeSoundScript>();
    GWaveOut out{FakeSoundDevice::factory(dev)};

    void openStandard() { ASSERT_TRUE(out.Open(8000, 16, 1, 40)); }
};

} // namespace

TEST_F(WaveOut, BlockBytesFollowTheFormat) {
    struct Case {
        int rate, bits, channels, ms;
        size_t block;
    };
    const Case cases[] = {
        {8000, 16, 1, 40, 640},   {8000, 16, 1, 5, 320},      // at least 20 ms
        {44100, 16, 2, 40, 7056}, {44100, 16, 2, 400, 32768}, // at most one buffer
        {22050, 16, 1, 30, 1322}, {11025, 8, 1, 20, 220},     // whole samples only
        {48000, 24, 2, 21, 6048},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(out.Open(c.rate, c.bits, c.channels, c.ms)) << c.rate << "/" << c.ms;
        EXPECT_EQ(out.blockBytes(), c.block) << c.rate << "/" << c.ms;
        EXPECT_EQ(dev->format.sampleRate, c.rate);
        EXPECT_EQ(dev->format.channels, c.channels);
    }
    EXPECT_EQ(dev->opens, 7);
    EXPECT_EQ(dev->closes, 6); // every Open closes the previous device first
}

TEST_F(WaveOut, OpenFailures) {
    EXPECT_FALSE(out.Open(8000, 12, 1, 40));
    EXPECT_FALSE(out.Open(0, 16, 1, 40));
    EXPECT_FALSE(out.Open(8000, 16, 0, 40));
    EXPECT_EQ(dev->opens, 0);
    dev->failOpen = true;
    EXPECT_FALSE(out.Open(8000, 16, 1, 40));
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.Write(std::string(640, 'x')));
}

TEST_F(WaveOut, PlaybackStartsWithTwoBlocksInHand) {
    openStandard();
    ASSERT_TRUE(out.Write(pattern(0, 600)));
    EXPECT_TRUE(dev->queued.empty());
    EXPECT_EQ(out.Buffered(), 600u);
    ASSERT_TRUE(out.Write(pattern(600, 679)));
    EXPECT_TRUE(dev->queued.empty()); // 1279 bytes: one short
    ASSERT_TRUE(out.Write(pattern(1279, 1)));
    ASSERT_EQ(dev->queued.size(), 2u);
    EXPECT_EQ(dev->queued[0].buffer, 0);
    EXPECT_EQ(dev->queued[1].buffer, 1);
    EXPECT_EQ(out.Buffered(), 0u);
    EXPECT_EQ(out.busyBuffers(), 2);
    while (dev->completeNext()) {
    }
    EXPECT_EQ(dev->played, pattern(0, 1280));
}

TEST_F(WaveOut, CompletionRefillsThenCountsUnderruns) {
    openStandard();
    ASSERT_TRUE(out.Write(pattern(0, 640 * 3 + 100)));
    ASSERT_TRUE(dev->completeNext()); // refilled with the third block
    EXPECT_EQ(dev->queued.size(), 2u);
    EXPECT_EQ(out.underruns(), 0u);
    ASSERT_TRUE(dev->completeNext()); // 100 bytes left: underrun, buffer idle
    EXPECT_EQ(out.underruns(), 1u);
    EXPECT_EQ(out.busyBuffers(), 1);
    // With one buffer still playing, a single block is enough to refill the idle one.
    ASSERT_TRUE(out.Write(pattern(1920 + 100, 540)));
    EXPECT_EQ(out.busyBuffers(), 2);
    ASSERT_TRUE(dev->completeNext());
    ASSERT_TRUE(dev->completeNext());
    EXPECT_EQ(out.underruns(), 3u);
    EXPECT_EQ(out.busyBuffers(), 0);
    // Stalled: it takes two blocks again to restart, and nothing was lost on the way.
    ASSERT_TRUE(out.Write(pattern(2560, 640)));
    EXPECT_EQ(out.busyBuffers(), 0);
    ASSERT_TRUE(out.Write(pattern(3200, 640)));
    EXPECT_EQ(out.busyBuffers(), 2);
    while (dev->completeNext()) {
    }
    EXPECT_EQ(dev->played, pattern(0, 3840));
}

TEST_F(WaveOut, RefusedBufferKeepsItsBytes) {
    openStandard();
    dev->refuseQueue = true;
    ASSERT_TRUE(out.Write(pattern(0, 1280)));
    EXPECT_EQ(out.busyBuffers(), 0);
    EXPECT_EQ(out.Buffered(), 1280u);
    dev->refuseQueue = false;
    ASSERT_TRUE(out.Write(""));
    while (dev->completeNext()) {
    }
    EXPECT_EQ(dev->played, pattern(0, 1280));
    EXPECT_EQ(out.underruns(), 2u);
}

TEST_F(WaveOut, FullRingDropsTheWholeChunk) {
    openStandard();
    EXPECT_FALSE(out.Write(std::string(GWaveOut::kRingBytes, 'x')));
    EXPECT_EQ(out.Buffered(), 0u);
    ASSERT_TRUE(out.Write(pattern(0, GWaveOut::kRingBytes - 1)));
    // Two blocks went to the device, which frees exactly that much.
    EXPECT_EQ(out.Buffered(), GWaveOut::kRingBytes - 1 - 1280);
    EXPECT_FALSE(out.Write(pattern(0, 1281)));
    ASSERT_TRUE(out.Write(pattern(GWaveOut::kRingBytes - 1, 1280)));
    EXPECT_EQ(out.Buffered(), GWaveOut::kRingBytes - 1);
    // Play it all: the bytes across the ring's end come out in order.
    dev->played.reserve(GWaveOut::kRingBytes + 2000);
    while (dev->completeNext()) {
    }
    const size_t total = GWaveOut::kRingBytes + 1279;
    EXPECT_EQ(out.Buffered(), total % 640);
    EXPECT_TRUE(dev->played == pattern(0, total - total % 640));
}

TEST_F(WaveOut, ResetRingLeavesTheDeviceAlone) {
    openStandard();
    ASSERT_TRUE(out.Write(pattern(0, 3000)));
    out.ResetRing();
    EXPECT_EQ(out.Buffered(), 0u);
    EXPECT_EQ(dev->resets, 0);
    EXPECT_EQ(dev->queued.size(), 2u);
    ASSERT_TRUE(dev->completeNext());
    EXPECT_EQ(out.underruns(), 1u);
}

TEST_F(WaveOut, CloseResetsTheDeviceAndEverything) {
    openStandard();
    ASSERT_TRUE(out.Write(pattern(0, 3000)));
    out.Close();
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(dev->resets, 1);
    EXPECT_EQ(dev->closes, 1);
    EXPECT_EQ(out.Buffered(), 0u);
    EXPECT_EQ(out.busyBuffers(), 0);
    EXPECT_FALSE(out.Write(pattern(0, 10)));
    // Reopening starts clean.
    openStandard();
    ASSERT_TRUE(out.Write(pattern(0, 1280)));
    EXPECT_EQ(dev->queued.size(), 2u);
}

namespace {

// A device thread that plays as fast as it can and keeps what it played.
class RecordingDevice : public media::QueuedSoundDevice {
public:
    explicit RecordingDevice(std::string* sink) : played(sink) {}
    ~RecordingDevice() override { shutDown(); }

protected:
    bool openStream(media::SoundDirection, const media::SoundFormat&) override { return true; }
    size_t transfer(char* data, size_t bytes) override {
        played->append(data, bytes); // device thread only
        if (++calls % 8 == 0) std::this_thread::yield();
        return bytes;
    }
    void closeStream() override {}

private:
    std::string* played;
    unsigned calls = 0;
};

} // namespace

// Writes from one thread while completions refill from another: every accepted byte comes out
// exactly once, in order. Run under ThreadSanitizer this also shows the locking is complete.
TEST(WaveOutStress, WriterAndDeviceThreadsKeepTheStreamIntact) {
    std::string played;
    GWaveOut out([&] { return std::make_unique<RecordingDevice>(&played); });
    ASSERT_TRUE(out.Open(8000, 16, 1, 20));

    std::string accepted;
    std::mt19937 random(1078);
    std::uniform_int_distribution<size_t> size(1, 2000);
    size_t position = 0;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            const std::string chunk = pattern(position, size(random));
            position += chunk.size();
            if (out.Write(chunk)) accepted += chunk;
            if (i % 64 == 0) (void)out.Buffered();
        }
    });
    writer.join();
    // What is left is less than two blocks, waiting for more.
    while (out.busyBuffers() > 0)
        std::this_thread::yield();
    const size_t left = out.Buffered();
    out.Close();
    EXPECT_LT(left, 2 * out.blockBytes());
    ASSERT_EQ(played.size() + left, accepted.size());
    EXPECT_TRUE(played == accepted.substr(0, played.size()));
    EXPECT_GT(played.size(), 1000000u);
}

TEST(WaveOutStress, CloseWhileCompletionsRun) {
    std::string played;
    GWaveOut out([&] { return std::make_unique<RecordingDevice>(&played); });
    for (int round = 0; round < 200; ++round) {
        played.clear();
        ASSERT_TRUE(out.Open(8000, 16, 1, 20));
        for (int i = 0; i < 20; ++i)
            out.Write(pattern(i * 700, 700));
        out.Close(); // must wait for a completion under way and leave nothing running
        EXPECT_EQ(played.size() % 320, 0u);
    }
}
