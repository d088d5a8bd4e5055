// GWaveIn on a scripted device: block sizes and the 4096-byte cap, the skipped first block,
// requeueing, and closing while the device thread delivers.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "media/GWaveIn.h"
#include "media/NullSoundDevice.h"
#include "sound/FakeSoundDevice.h"

using media::GWaveIn;
using tavrina_test::FakeSoundDevice;
using tavrina_test::FakeSoundScript;

namespace {

class WaveIn : public ::testing::Test {
protected:
    std::shared_ptr<FakeSoundScript> dev = std::make_shared<FakeSoundScript>();
    GWaveIn in{FakeSoundDevice::factory(dev)};
    std::vector<std::string> blocks;

    void SetUp() override {
        in.OnData = [this](const char* data, size_t n) { blocks.emplace_back(data, n); };
    }
};

} // namespace

TEST_F(WaveIn, BlockSizes) {
    struct Case {
        int rate, bits, channels, ms;
        size_t bytes;
        int blockMs;
    };
    const Case cases[] = {
        {8000, 16, 1, 40, 640, 40},    {44100, 16, 2, 40, 4096, 23}, // 7056 bytes asked: capped
        {8000, 16, 1, 2, 80, 5},                                     // at least 5 ms
        {48000, 32, 2, 100, 4096, 10}, {11025, 16, 1, 5, 110, 5},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(in.Open(c.rate, c.bits, c.channels, c.ms, false)) << c.rate << "/" << c.ms;
        EXPECT_EQ(in.blockBytes(), c.bytes) << c.rate << "/" << c.ms;
        EXPECT_EQ(in.blockMs(), c.blockMs) << c.rate << "/" << c.ms;
        EXPECT_TRUE(in.running());
        ASSERT_EQ(dev->queued.size(), 2u);
        EXPECT_EQ(dev->queued[0].bytes, c.bytes);
        EXPECT_EQ(dev->direction, media::SoundDirection::Capture);
    }
}

TEST_F(WaveIn, DeliversBlocksAndRequeuesThem) {
    ASSERT_TRUE(in.Open(8000, 16, 1, 40, false));
    dev->captureSound = "ab";
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(dev->completeNext());
    ASSERT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks[0].size(), 640u);
    EXPECT_EQ(blocks[4].substr(0, 4), "abab");
    EXPECT_EQ(dev->queued.size(), 2u);
}

TEST_F(WaveIn, SkipFirstDiscardsOneBlock) {
    ASSERT_TRUE(in.Open(8000, 16, 1, 40, true));
    ASSERT_TRUE(dev->completeNext());
    EXPECT_TRUE(blocks.empty());
    ASSERT_TRUE(dev->completeNext());
    ASSERT_TRUE(dev->completeNext());
    EXPECT_EQ(blocks.size(), 2u);
    // A new Open skips again.
    ASSERT_TRUE(in.Open(8000, 16, 1, 40, true));
    ASSERT_TRUE(dev->completeNext());
    EXPECT_EQ(blocks.size(), 2u);
}

TEST_F(WaveIn, FailuresLeaveItClosed) {
    EXPECT_FALSE(in.Open(8000, 20, 1, 40, false));
    dev->failOpen = true;
    EXPECT_FALSE(in.Open(8000, 16, 1, 40, false));
    EXPECT_FALSE(in.running());
    dev->failOpen = false;
    dev->refuseQueue = true;
    EXPECT_FALSE(in.Open(8000, 16, 1, 40, false));
    EXPECT_FALSE(in.running());
    EXPECT_EQ(dev->closes, 2); // each failed Open closes what it opened
}

TEST_F(WaveIn, CloseStopsDelivery) {
    ASSERT_TRUE(in.Open(8000, 16, 1, 40, false));
    in.Close();
    EXPECT_FALSE(in.running());
    EXPECT_EQ(dev->resets, 1);
    EXPECT_EQ(dev->closes, 1);
    EXPECT_FALSE(dev->completeNext());
    EXPECT_TRUE(blocks.empty());
}

// The null device records silence in real time on its own thread; Close returns only once no
// OnData call is under way, and none follows.
TEST(WaveInNullDevice, SilenceOnTheDeviceThreadUntilClose) {
    GWaveIn in([] { return std::make_unique<media::NullSoundDevice>(); });
    std::atomic<int> calls{0};
    std::atomic<bool> closed{false};
    std::atomic<bool> late{false};
    std::atomic<bool> silent{true};
    std::atomic<bool> otherThread{true};
    const auto self = std::this_thread::get_id();
    in.OnData = [&](const char* data, size_t n) {
        if (closed) late = true;
        for (size_t i = 0; i < n; ++i)
            if (data[i] != 0) silent = false;
        if (std::this_thread::get_id() == self) otherThread = false;
        ++calls;
    };
    for (int round = 0; round < 3; ++round) {
        closed = false;
        const int before = calls;
        ASSERT_TRUE(in.Open(8000, 16, 1, 5, false));
        while (calls < before + 3)
            std::this_thread::yield();
        in.Close();
        closed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(late);
    EXPECT_TRUE(silent);
    EXPECT_TRUE(otherThread);
}
