// --snapshot OUT: the first picture of the capture's first channel, taken through a channel
// player's snapshot path (exact conversion, JPEG at quality 90). The player runs on a clock of
// its own that follows the capture, so a capture plays in no time.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "media/RTPPlayer.h"
#include "rtpdump/RtpdumpSink.h"
#include "util/Clock.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace rtpdump {
namespace {

// More video than this queued ahead, and the clock moves on.
constexpr uint32_t kAheadMs = 1000;
constexpr uint64_t kStepMs = 10;

class SnapshotSink : public RtpdumpSink {
public:
    explicit SnapshotSink(std::string utf8Path)
        : localPath(std::move(utf8Path)), counter(clock), player(counter) {
        player.Start();
        player.Snapshot(util::utf8ToGbk(localPath));
    }

    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType == media::kTransparent) return;
        if (!channel) channel = h.simch;
        if (h.simch != *channel || !player.snapshotWanted) return;
        player.Input(h, body);
        while (player.snapshotWanted &&
               player.buffer.videoOut - player.buffer.lastVideoOut > kAheadMs)
            step();
    }

    bool finish() override {
        // Play out what is queued; the buffer holds back its last 200 ms, which are then not
        // needed for a first picture anyway.
        for (int i = 0; i < 100000 && player.snapshotWanted && player.buffer.frameCount() > 0; ++i)
            step();
        std::error_code ec;
        const bool taken = !player.snapshotWanted && player.picWidth > 0 &&
                           std::filesystem::file_size(localPath, ec) > 0 && !ec;
        player.Stop();
        if (!taken) complain("截图失败"_gbk, localPath);
        return taken;
    }

    std::string summaryFields() const override {
        return "snapshot_width=" + std::to_string(player.picWidth) +
               " snapshot_height=" + std::to_string(player.picHeight);
    }

private:
    void step() {
        clock.advanceMs(kStepMs);
        player.Tick(true);
    }

    std::string localPath;
    util::FakeClock clock{1};
    media::ClockCounter counter;
    media::RTPPlayer player;
    std::optional<media::SIMCH> channel;
};

const bool registered = registerOption(
    {"--snapshot", "OUT", "save the first picture to OUT as JPEG, as a player's snapshot",
     [](const std::string& path) -> std::unique_ptr<RtpdumpSink> {
         return std::make_unique<SnapshotSink>(path);
     }});

} // namespace
} // namespace rtpdump
