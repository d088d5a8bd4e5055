// One channel heard at a time through the grid's one audio output.

#include <gtest/gtest.h>

#include "GridFixture.h"

using namespace tavrina_test;

namespace {

TEST_F(Grid, SoundGoesToOnePlayerOnly) {
    init();
    open(1);
    open(2);
    media::RTPPlayer* three = grid.Open(key(3), "v", "CH1 ", 0, false, 16000, 16, 2);
    grid.SelectAudio(key(2));
    EXPECT_EQ(sound->opens, 1);
    EXPECT_EQ(sound->format.sampleRate, 8000);
    EXPECT_EQ(grid.audioOutput().blockBytes(), 640u); // 40 ms
    std::vector<bool> on;
    for (const auto& [k, p] : grid.players())
        on.push_back(p->audioOn);
    EXPECT_EQ(on, (std::vector<bool>{false, true, false}));

    // The consumer writes into the shared output; switching empties its queue.
    grid.players().at(key(2))->OnAudio(std::string(1000, '\x01'));
    EXPECT_EQ(grid.audioOutput().Buffered(), 1000u); // under two blocks: not yet playing
    grid.SelectAudio(key(3));
    EXPECT_EQ(grid.audioOutput().Buffered(), 0u);
    EXPECT_EQ(sound->format.sampleRate, 16000);
    EXPECT_EQ(sound->format.channels, 2);
    EXPECT_TRUE(three->audioOn);
    EXPECT_FALSE(grid.players().at(key(2))->audioOn);

    // The channel number is part of the key.
    grid.SelectAudio(key(3, 2));
    EXPECT_FALSE(three->audioOn);

    // Off: nobody is heard, the output is left empty.
    grid.SelectAudio(key(3));
    three->OnAudio(std::string(4000, '\x02'));
    grid.SelectAudio(media::SIMCH{});
    for (const auto& [k, p] : grid.players())
        EXPECT_FALSE(p->audioOn);
    EXPECT_EQ(grid.audioOutput().Buffered(), 0u);
}

} // namespace
