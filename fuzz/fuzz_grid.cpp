// The picture grid driven by arbitrary sequences of what its owner, the mouse and the video
// server can do to it (opening, closing, frames of any kind and content, draws, clicks, layouts,
// paging, sound, re-arranging, the main window's direct writes), with an owner that closes
// players from inside its own event callback. After every step the cells and the players must
// agree, and every picture drawn must be readable whole.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/PlayTimer.h"
#include "media/RTPPlayer.h"
#include "ui/MultiPlayer.h"
#include "util/Clock.h"

namespace {

class CheckingSurface : public ui::DrawSurface {
public:
    void FillRect(const ui::Rect&, ui::Rgb) override {}
    void Polyline(const ui::Point* p, int count, ui::Rgb, int) override {
        if (count < 1) std::abort();
        sink += p[0].x + p[count - 1].y;
    }
    void TextRect(const ui::Rect& r, std::string_view text, int, ui::Rgb,
                  ui::Align align) override {
        const ui::TextPlace at = ui::placeText(r, static_cast<int>(text.size()) * 7, 13, align);
        sink += at.x + at.y;
    }
    void StretchPicture(const ui::Rect& to, const uint32_t* bits, int w, int h) override {
        if (bits == nullptr || w <= 0 || h <= 0 || to.right <= to.left || to.bottom <= to.top)
            std::abort();
        // The whole bitmap must be there (ASan watches).
        sink += bits[0] + bits[static_cast<size_t>(w) * static_cast<size_t>(h) - 1];
    }
    void DrawIcon(int index, int, int) override {
        if (index < 0 || index > 8) std::abort();
    }
    volatile uint64_t sink = 0;
};

class Icons : public ui::IconList {
public:
    int Count() const override { return 9; }
};

class Reader {
public:
    Reader(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool more() const { return pos < size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() << 8 | byte()); }
    std::string_view bytes(size_t n) {
        n = std::min(n, size - pos);
        const std::string_view out(reinterpret_cast<const char*>(data + pos), n);
        pos += n;
        return out;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

media::SIMCH keyOf(uint8_t n) {
    return media::SIMCH{media::padSim(std::to_string(n % 6)), static_cast<uint8_t>(n % 3)};
}

void check(ui::MultiPlayer& grid) {
    size_t bound = 0;
    for (uint8_t n = 1; n <= ui::MultiPlayer::kCells; ++n) {
        ui::ChanelPic* c = grid.GetCell(n);
        if (c == nullptr || c->player == nullptr) continue;
        ++bound;
        auto it = grid.players().find(c->player->key);
        if (it == grid.players().end() || it->second.get() != c->player) std::abort();
        if (c->player->cell != n) std::abort();
    }
    if (grid.surface() != nullptr && bound != grid.players().size()) std::abort();
    if (grid.FirstFree() != 0 && grid.CountFree() == 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    util::FakeClock clock(1000);
    media::ClockCounter counter(clock);
    ui::MultiPlayer grid(counter, [] { return std::unique_ptr<media::SoundDevice>(); });
    grid.SetTickThreads(0);
    CheckingSurface surface;
    Icons icons;
    grid.icons = &icons;
    Reader in(data, size);
    bool closeFromEvents = false;
    grid.OnChannelEvent = [&](const media::SIMCH& key, uint8_t code, uint8_t) {
        if (code > ui::EvBufferLow) std::abort();
        if (closeFromEvents) grid.Close(key);
    };
    grid.MakeFilePath = [&](std::string& out, int kind, const std::string&, const std::string&,
                            const std::string&, double) {
        if (kind != 0 && kind != 1) std::abort();
        out = "/nonexistent-directory/file"; // requests that cannot be honoured
        return (kind & 1) != 0;
    };
    grid.Init(&surface, 700, 1000);

    while (in.more()) {
        const uint8_t op = in.byte();
        const uint8_t a = in.byte();
        switch (op % 14) {
        case 0:
            grid.Open(keyOf(a), "v", "CH1 ", static_cast<uint8_t>(in.byte() % 23), a & 1, 8000, 16,
                      1);
            break;
        case 1:
            grid.Close(keyOf(a));
            break;
        case 2:
            grid.CloseCell(static_cast<uint8_t>(a % 23));
            break;
        case 3: {
            media::RTPmeta h;
            h.simch = keyOf(a);
            h.dataType = static_cast<uint8_t>(in.byte() % 5);
            static const uint8_t kTypes[] = {media::kPtH264, media::kPtG711A, media::kPtAdpcm, 7};
            h.PT = kTypes[in.byte() % 4];
            h.timestamp = static_cast<uint32_t>(in.word()) * 4;
            const std::string_view body = in.bytes(in.byte());
            h.length = static_cast<uint32_t>(body.size());
            grid.OnFrame(h, body);
            break;
        }
        case 4:
            clock.advanceMs(static_cast<uint64_t>(a) * 8);
            grid.Draw();
            break;
        case 5:
            grid.MouseDown(a % 3, in.word() % 1100, in.word() % 800);
            break;
        case 6:
            grid.MouseUp(a % 3, in.word() % 1100, in.word() % 800);
            break;
        case 7:
            grid.Layout(in.word() % 1300, in.word() % 1300, a);
            break;
        case 8:
            if (a & 2)
                grid.PageStep(a & 1);
            else
                grid.CellStep(a & 1);
            break;
        case 9:
            grid.SelectAudio(a & 1 ? keyOf(a >> 1) : media::SIMCH{});
            break;
        case 10:
            if (a & 1)
                grid.Compact();
            else
                grid.Swap(static_cast<uint8_t>(a >> 1), in.byte());
            break;
        case 11:
            grid.SetStatus(keyOf(a), "x");
            grid.SetWait(keyOf(a), in.byte() % 12);
            break;
        case 12:
            // The main window's direct writes (zoom, refresh).
            grid.firstCell = static_cast<uint8_t>(a % 25);
            grid.selectedCell = in.byte();
            grid.mode = static_cast<uint8_t>(in.byte() % 9);
            grid.redrawAll = true;
            break;
        case 13:
            if (a == 0)
                grid.Clear();
            else if (a == 1)
                grid.Init(&surface, in.word() % 1300, in.word() % 1300);
            else
                closeFromEvents = a & 1;
            break;
        }
        check(grid);
    }
    return 0;
}
