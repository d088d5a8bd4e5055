#include "media/RTPBuf.h"

#include <gtest/gtest.h>

#include <vector>

using media::RTPBuf;
using media::RTPmeta;

namespace {

RTPmeta frame(uint8_t dataType, uint32_t timestamp) {
    RTPmeta h;
    h.dataType = dataType;
    h.PT = dataType == media::kAudio ? media::kPtG711A : media::kPtH264;
    h.timestamp = timestamp;
    return h;
}

std::vector<uint32_t> mapped(uint8_t dataType, const std::vector<uint32_t>& in) {
    RTPBuf buf;
    std::vector<uint32_t> out;
    for (uint32_t t : in)
        out.push_back(buf.MapTimestamp(frame(dataType, t)).timestamp);
    return out;
}

// Pops everything due at `now`; returns the local timestamps released.
std::vector<uint32_t> popAll(RTPBuf& buf, uint32_t now) {
    std::vector<uint32_t> out;
    RTPmeta h;
    std::string bytes;
    while (buf.Pop(now, h, bytes))
        out.push_back(h.timestamp);
    return out;
}

} // namespace

TEST(RTPBuf, TimestampMapping) {
    struct Case {
        std::vector<uint32_t> in, out;
    };
    const Case cases[] =
        {
            {{1000, 1040, 1080}, {0, 40, 80}},
            {{1000, 5000}, {0, 200}},
            {{1000, 900}, {0, 40}},
            {{1000, 1200, 1201}, {0, 200, 201}},
            {{0xFFFFFFF0u, 0x10}, {0, 40}}, // a wrapped terminal clock counts as a step back
        };
    for (const Case& c : cases) {
        EXPECT_EQ(mapped(media::kVideoI, c.in), c.out);
        EXPECT_EQ(mapped(media::kAudio, c.in), c.out);
    }
}

TEST(RTPBuf, AudioAndVideoKeepTheirOwnTimelines) {
    RTPBuf buf;
    buf.Push(frame(media::kVideoI, 5000), "v");
    buf.Push(frame(media::kAudio, 100), "a");
    buf.Push(frame(media::kVideoP, 5040), "v");
    buf.Push(frame(media::kAudio, 140), "a");
    buf.Push(frame(media::kTransparent, 7), "t"); // never queued
    EXPECT_EQ(buf.videoLastIn, 5040u);
    EXPECT_EQ(buf.videoOut, 40u);
    EXPECT_EQ(buf.audioLastIn, 140u);
    EXPECT_EQ(buf.audioOut, 40u);
    EXPECT_EQ(buf.frameCount(), 4u);
}

TEST(RTPBuf, ClockStartsWith200msQueuedAndReleasesInOrder) {
    RTPBuf buf;
    for (uint32_t t = 1000; t <= 1240; t += 40)
        buf.Push(frame(media::kVideoP, t), "v");
    ASSERT_EQ(buf.videoOut, 240u);

    EXPECT_TRUE(popAll(buf, 5000).empty());
    EXPECT_EQ(buf.clockBase, 5000u);
    EXPECT_EQ(popAll(buf, 5001), std::vector<uint32_t>{0});
    EXPECT_EQ(buf.lastVideoOut, 0u);
    // A frame is due once the clock has passed its local timestamp.
    EXPECT_EQ(popAll(buf, 5081), (std::vector<uint32_t>{40, 80}));
}

TEST(RTPBuf, NotStartedBelow200msAhead) {
    RTPBuf buf;
    for (uint32_t t = 1000; t <= 1160; t += 40)
        buf.Push(frame(media::kVideoP, t), "v");
    EXPECT_TRUE(popAll(buf, 5000).empty());
    EXPECT_EQ(buf.clockBase, 0u); // not started, nothing held back
    EXPECT_FALSE(buf.underrun);
}

TEST(RTPBuf, StarvationHoldsBackOnceUntilARelease) {
    RTPBuf buf;
    for (uint32_t t = 1000; t <= 1400; t += 40)
        buf.Push(frame(media::kVideoP, t), "v");
    popAll(buf, 5000);
    // Release until fewer than 200 ms are queued ahead of the last release.
    const auto released = popAll(buf, 5000 + 250);
    ASSERT_FALSE(released.empty());
    EXPECT_LT(buf.videoOut - buf.lastVideoOut, 200u);
    EXPECT_TRUE(buf.underrun);
    EXPECT_EQ(buf.clockBase, 6600u);
    popAll(buf, 5300);
    popAll(buf, 9000);
    EXPECT_EQ(buf.clockBase, 6600u); // once per starvation

    // Refill: the next release clears the mark, and a new starvation moves the clock again.
    for (uint32_t t = 1440; t <= 2400; t += 40)
        buf.Push(frame(media::kVideoP, t), "v");
    RTPmeta h;
    std::string bytes;
    ASSERT_TRUE(buf.Pop(6600 + 281, h, bytes));
    EXPECT_EQ(h.timestamp, 280u);
    EXPECT_FALSE(buf.underrun);
    popAll(buf, 20000);
    EXPECT_TRUE(buf.underrun);
    EXPECT_EQ(buf.clockBase, 8200u);
}

TEST(RTPBuf, AudioOnlyChannelPlaysOnItsOwnTimeline) {
    RTPBuf buf;
    uint32_t t = 1000;
    // Less than the audio-only threshold: held, as for any channel waiting for video.
    for (; t < 1000 + RTPBuf::kAudioOnlyAfterMs - 40; t += 40)
        buf.Push(frame(media::kAudio, t), "a");
    EXPECT_FALSE(buf.audioOnly());
    EXPECT_TRUE(popAll(buf, 100).empty());
    for (; t <= 1000 + RTPBuf::kAudioOnlyAfterMs; t += 40)
        buf.Push(frame(media::kAudio, t), "a");
    EXPECT_TRUE(buf.audioOnly());
    EXPECT_TRUE(popAll(buf, 100).empty()); // starts the clock
    EXPECT_EQ(popAll(buf, 180), (std::vector<uint32_t>{0, 40}));

    // Video arriving again puts the channel back on the video timeline.
    buf.Push(frame(media::kVideoI, 50), "v");
    EXPECT_FALSE(buf.audioOnly());
}

TEST(RTPBuf, QueueIsBoundedOldestFirst) {
    RTPBuf buf;
    for (uint32_t i = 0; i < RTPBuf::kMaxFrames + 10; ++i)
        buf.Push(frame(media::kAudio, 1000 + 40 * i), "a");
    EXPECT_EQ(buf.frameCount(), RTPBuf::kMaxFrames);

    RTPBuf big;
    const std::string mb(1 << 20, 'v');
    for (uint32_t i = 0; i < 40; ++i)
        big.Push(frame(media::kVideoP, 1000 + 40 * i), mb);
    EXPECT_LE(big.byteCount(), RTPBuf::kMaxBytes);
    EXPECT_EQ(big.frameCount(), RTPBuf::kMaxBytes / mb.size());
    // Dropped frames count as released, so what is ahead stays measured from the oldest kept.
    EXPECT_EQ(big.lastVideoOut, 40u * (40 - big.frameCount() - 1));
}

TEST(RTPBuf, ClearKeepsTimelinesResetZeroes) {
    RTPBuf buf;
    buf.Push(frame(media::kVideoI, 1000), "v");
    buf.Push(frame(media::kVideoI, 1100), "v");
    buf.Clear();
    EXPECT_EQ(buf.frameCount(), 0u);
    EXPECT_EQ(buf.videoOut, 100u);
    buf.Reset();
    EXPECT_EQ(buf.videoOut, 0u);
    EXPECT_EQ(buf.videoLastIn, 0u);
    EXPECT_EQ(buf.SaveState(), std::string(RTPBuf::kStateSize, '\0'));
}

TEST(RTPBuf, SavedState) {
    RTPBuf buf;
    buf.videoLastIn = 0x01020304;
    buf.videoOut = 5;
    buf.audioLastIn = 6;
    buf.audioOut = 7;
    buf.underrun = true;
    buf.clockBase = 0xA0B0C0D0;
    buf.lastVideoOut = 9;
    const std::string state = buf.SaveState();
    EXPECT_EQ(state, std::string("\x01\x02\x03\x04\0\0\0\x05\0\0\0\x06\0\0\0\x07\x01"
                                 "\xA0\xB0\xC0\xD0\0\0\0\x09",
                                 25));

    RTPBuf loaded;
    ASSERT_TRUE(loaded.LoadState(state));
    EXPECT_EQ(loaded.SaveState(), state);

    std::string other = state;
    other[16] = '\x7F'; // any non-zero byte loads as set
    ASSERT_TRUE(loaded.LoadState(other));
    EXPECT_TRUE(loaded.underrun);

    EXPECT_FALSE(loaded.LoadState(state.substr(0, 24)));
    EXPECT_FALSE(loaded.LoadState(""));
}

TEST(RTPBuf, RestoredStateContinuesTheTimeline) {
    RTPBuf first;
    first.MapTimestamp(frame(media::kVideoI, 1000));
    first.MapTimestamp(frame(media::kVideoI, 1040));
    RTPBuf resumed;
    ASSERT_TRUE(resumed.LoadState(first.SaveState()));
    EXPECT_EQ(resumed.MapTimestamp(frame(media::kVideoP, 1080)).timestamp, 80u);
    EXPECT_FALSE(resumed.audioOnly());
}
