#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RecordingSurface.h"
#include "media/PlayTimer.h"
#include "media/RTPPlayer.h"
#include "sound/FakeSoundDevice.h"
#include "ui/MultiPlayer.h"
#include "util/Clock.h"
#include "util/GbkText.h"

namespace tavrina_test {

using namespace util::literals;

inline media::SIMCH key(int n, uint8_t channel = 1) {
    return media::SIMCH{media::padSim(std::to_string(n)), channel};
}

// A grid on a recording surface, a fake clock and a scripted sound device, with the events it
// raised as "code key-number arg".
class Grid : public ::testing::Test {
protected:
    util::FakeClock clock{1000};
    media::ClockCounter counter{clock};
    std::shared_ptr<FakeSoundScript> sound = std::make_shared<FakeSoundScript>();
    ui::MultiPlayer grid{counter, FakeSoundDevice::factory(sound)};
    RecordingSurface surface;
    RecordingDesktop desktop;
    FakeIcons iconList;
    std::vector<std::string> events;

    void SetUp() override {
        grid.desktop = &desktop;
        grid.icons = &iconList;
        grid.OnChannelEvent = [this](const media::SIMCH& k, uint8_t code, uint8_t arg) {
            events.push_back(std::to_string(code) + " " + std::to_string(std::stoll(k.sim)) + ":" +
                             std::to_string(k.channel) + " " + std::to_string(arg));
        };
    }

    void init(uint16_t height = 700, uint16_t width = 1000, uint8_t mode = 4) {
        grid.mode = mode;
        grid.Init(&surface, height, width);
    }

    media::RTPPlayer* open(int n, uint8_t cell = 0, uint8_t channel = 1) {
        return grid.Open(key(n, channel), "粤B1234"_gbk + std::to_string(n),
                         std::string(media::channelLabel(channel)), cell, false, 8000, 16, 1);
    }

    // Cell number -> the test number of its player's key, 0 when free.
    std::vector<int> occupancy() {
        std::vector<int> out;
        for (uint8_t n = 1; n <= 20; ++n) {
            const ui::ChanelPic* c = grid.GetCell(n);
            out.push_back(c && c->player ? static_cast<int>(std::stoll(c->player->key.sim)) : 0);
        }
        return out;
    }

    // A draw with the surface's log emptied first.
    const std::vector<std::string>& draw() {
        surface.ops.clear();
        grid.Draw();
        return surface.ops;
    }
};

} // namespace tavrina_test
