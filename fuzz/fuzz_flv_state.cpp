// Arbitrary saved FLV writer states (as a damaged task file hands them over), then media
// appended and the recording closed, all on an in-memory file; and arbitrary frames played
// through a channel player on a fake clock. First byte: which of the two.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "media/Flvencoder.h"
#include "media/RTPPlayer.h"
#include "util/BEUnpack.h"
#include "util/Clock.h"

namespace {

class MemoryFile : public media::MediaFile {
public:
    explicit MemoryFile(std::string& bytes) : bytes(bytes) {}
    bool write(std::string_view b) override {
        if (pos + b.size() > (8u << 20)) return false; // a small disk
        if (bytes.size() < pos + b.size()) bytes.resize(pos + b.size());
        bytes.replace(pos, b.size(), b);
        pos += b.size();
        return true;
    }
    bool read(size_t n, std::string& out) override {
        out = pos < bytes.size() ? bytes.substr(pos, n) : std::string();
        pos += out.size();
        return true;
    }
    bool seek(uint64_t o) override {
        pos = static_cast<size_t>(o);
        return true;
    }
    bool seekEnd() override {
        pos = bytes.size();
        return true;
    }
    int64_t size() override { return static_cast<int64_t>(bytes.size()); }
    bool truncate(uint64_t n) override {
        bytes.resize(static_cast<size_t>(n));
        return true;
    }
    bool flush() override { return true; }

private:
    std::string& bytes;
    size_t pos = 0;
};

void fuzzState(std::string_view data) {
    // The state, then the file's existing bytes: u16 length of the state first.
    util::BEUnpack in(data);
    uint16_t stateLength = 0;
    std::string state, file;
    if (!in.u16(stateLength) || !in.raw(std::min<size_t>(stateLength, in.remaining()), state))
        return;
    in.raw(in.remaining(), file);
    const std::string original = file;
    media::FLVEncoder w;
    w.openFile = [&file](const std::string&, bool truncate) {
        if (truncate) file.clear();
        return std::make_unique<MemoryFile>(file);
    };
    if (!w.LoadState(state)) return;
    std::string frame("\0\0\0\1\x41\x9a\x22\x33\0\0\0\1\x65\x88\x84\x00\x33", 17);
    w.AddVideo(frame, w.lastVideoTimestamp + 40);
    w.AddAudio(std::string(4096, '\x10'));
    std::string saved;
    w.SaveState(saved);
    media::FLVEncoder again;
    again.openFile = w.openFile;
    // What was saved loads again.
    if (!again.LoadState(saved) && w.videoTime < 4e9 && w.audioTime < 4e9) std::abort();
    again.Close();
}

void fuzzPlayer(std::string_view data) {
    util::FakeClock clock(1);
    media::ClockCounter counter(clock);
    media::RTPPlayer player(counter);
    player.audioOn = true;
    size_t heard = 0;
    player.OnAudio = [&heard](std::string_view pcm) { heard += pcm.size(); };
    player.Start();
    // Frames: data type, PT, u16 timestamp step, u16 length, bytes.
    util::BEUnpack in(data);
    media::RTPmeta h;
    uint8_t type = 0, pt = 0;
    uint16_t step = 0, length = 0;
    std::string body;
    while (in.u8(type) && in.u8(pt) && in.u16(step) && in.u16(length) &&
           in.raw(std::min<size_t>(length, in.remaining()), body)) {
        h.dataType = type % 5;
        h.PT = pt;
        h.timestamp += step;
        h.length = static_cast<uint32_t>(body.size());
        player.Input(h, body);
        clock.advanceMs(step % 256);
        player.Tick(type & 0x80);
    }
    for (int i = 0; i < 100; ++i) {
        clock.advanceMs(30);
        player.Tick(true);
    }
    player.Stop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        fuzzPlayer(rest);
    else
        fuzzState(rest);
    return 0;
}
