// Ticking the players on the pool changes nothing the grid does: the same real stream played
// in eight cells (economy mode) and in four (exact mode) paints the same pictures, captions
// and events in the same order as ticking them one after another.

#include <gtest/gtest.h>

#include "CaptureFrames.h"
#include "GridFixture.h"

using namespace tavrina_test;

namespace {

struct Played {
    std::vector<std::string> ops;
    std::vector<std::string> events;
};

Played play(const std::vector<media::RTP_data>& frames, int players, int threads) {
    util::FakeClock clock(1000);
    media::ClockCounter counter(clock);
    auto sound = std::make_shared<FakeSoundScript>();
    ui::MultiPlayer grid(counter, FakeSoundDevice::factory(sound));
    grid.SetTickThreads(threads, 0); // every draw on the pool, however light
    RecordingSurface surface;
    surface.hashPictures = true;
    FakeIcons icons;
    grid.icons = &icons;
    Played out;
    grid.OnChannelEvent = [&](const media::SIMCH& k, uint8_t code, uint8_t) {
        out.events.push_back(std::to_string(code) + " " + k.sim);
    };
    grid.Init(&surface, 700, 1000);
    for (int n = 1; n <= players; ++n)
        grid.Open(key(n), "v", "CH1 ", 0, false, 8000, 16, 1);
    grid.SelectAudio(key(2));

    // Every player gets the capture, each a few milliseconds later than the one before.
    const uint32_t t0 = frames.front().meta.timestamp;
    std::vector<size_t> next(static_cast<size_t>(players), 0);
    for (uint64_t now = 0; now < 6000; now += 30) {
        for (int n = 0; n < players; ++n) {
            size_t& i = next[static_cast<size_t>(n)];
            while (i < frames.size() &&
                   frames[i].meta.timestamp - t0 + static_cast<uint32_t>(7 * n) <= now) {
                media::RTPmeta h = frames[i].meta;
                h.simch = key(n + 1);
                grid.OnFrame(h, frames[i].data);
                ++i;
            }
        }
        clock.advanceMs(30);
        grid.Draw();
    }
    out.ops = std::move(surface.ops);
    return out;
}

TEST(ParallelTicks, SameDrawingAsOneAfterAnother) {
    const auto frames = captureFrames();
    size_t video = 0;
    for (const media::RTP_data& f : frames)
        video += f.meta.dataType <= media::kVideoB;
    ASSERT_EQ(video, 41u);
    for (int players : {8, 4}) {
        const Played alone = play(frames, players, 0);
        const Played pooled = play(frames, players, 2);
        size_t pictures = 0;
        for (const std::string& op : alone.ops)
            pictures += op.rfind("picture", 0) == 0;
        // Every cell showed the stream's pictures but the first (no PPS yet) and the last few
        // (the buffer keeps 200 ms queued).
        EXPECT_GE(pictures, static_cast<size_t>(players) * (video - 5)) << players;
        EXPECT_EQ(alone.ops, pooled.ops) << players;
        EXPECT_EQ(alone.events, pooled.events) << players;
    }
}

} // namespace
