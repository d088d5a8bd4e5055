// The grid's drawing: the players' ticks, the cells and their captions, the selection frame.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/MultiPlayer.h"
#include "ui/TickPool.h"
#include "util/Stopwatch.h"

using media::RTPPlayer;
using media::SIMCH;

namespace ui {

namespace {

constexpr Rgb kBlack = rgb(0, 0, 0);
constexpr Rgb kOutline = rgb(0, 128, 0);
constexpr Rgb kGreen = rgb(0, 255, 0);
constexpr Rgb kWhite = rgb(255, 255, 255);
constexpr int kNumberSize = 24;
constexpr int kCaptionSize = 10;

// Clears `drawing` however Draw leaves.
struct DrawGuard {
    bool& flag;
    explicit DrawGuard(bool& f) : flag(f) { flag = true; }
    ~DrawGuard() { flag = false; }
};

} // namespace

std::string PlayTimeText(uint32_t ms) {
    char text[32];
    const uint32_t seconds = ms / 1000 % 60, minutes = ms / 60000 % 60;
    if (ms < 3600000)
        std::snprintf(text, sizeof text, "%02u:%02u", minutes, seconds);
    else
        std::snprintf(text, sizeof text, "%u:%02u:%02u", ms / 3600000, minutes, seconds);
    return text;
}

std::string CaptionText(uint8_t number, const RTPPlayer& p) {
    std::string s = std::to_string(number);
    s += ' ';
    s += p.displayName;
    s += ' ';
    s += p.label();
    s += ' ';
    if (!p.statusText.empty() && p.stats.bytes == 0) return s + p.statusText;
    if (p.buffer.underrun) s += ">>>";
    const uint32_t span = p.buffer.videoOut - p.buffer.lastVideoOut;
    s += std::to_string(p.stats.bytes >> 10) + "KB " + PlayTimeText(p.Elapsed()) + " " +
         std::to_string(p.stats.decoded) + "f " + std::to_string(span / 1000) + "s " +
         std::to_string(p.stats.firstDataMs / 1000) + "s";
    return s;
}

void MultiPlayer::Draw() {
    if (!canvas || drawing) return;
    DrawGuard guard(drawing);
    const bool secondTick = secondClock.SecondTick();

    int visibleCount = 0;
    for (auto& [key, p] : playerMap) {
        p->visible = onPage(p->cell);
        visibleCount += p->visible;
    }
    tickPlayers(visibleCount < kFewPlayers);
    if (OnChannelEvent) raiseBufferEvents();
    if (!canvas) return; // the owner cleared the grid from an event

    if (redrawAll) canvas->FillRect(Rect{0, 0, surfaceWidth, surfaceHeight}, kBlack);
    const int count = PicturesPerPage(mode);
    for (int j = 0; j < count; ++j)
        if (ChanelPic* c = GetCell(static_cast<uint8_t>(firstCell + j))) paintCell(*c, secondTick);
    if (ChanelPic* s = GetCell(selectedCell)) {
        const Rect& a = s->area;
        Outline(*canvas, Rect{a.left + 1, a.top + 1, a.right - 1, a.bottom + 19}, kGreen, 2);
    }
    redrawAll = false;
}

void MultiPlayer::tickPlayers(bool few) {
    const bool parallel = pool && playerMap.size() > 1 && tickWorkMs >= parallelAboveMs;
    const util::Stopwatch watch;
    if (!parallel) {
        for (auto& [key, p] : playerMap)
            p->Tick(few);
    } else {
        tickList.clear();
        for (auto& [key, p] : playerMap)
            tickList.push_back(p.get());
        // Players share nothing but the audio output, which guards itself.
        pool->Run(tickList.size(), [this, few](size_t i) { tickList[i]->Tick(few); });
    }
    // What the ticks cost one thread, roughly: light ticks are not worth waking the pool for
    // (its hand-over and the players' caches moving between cores cost more than they save).
    const size_t threads = parallel ? std::min<size_t>(pool->workers() + 1, playerMap.size()) : 1;
    tickWorkMs = watch.elapsedMs() * static_cast<double>(threads);
}

void MultiPlayer::raiseBufferEvents() {
    struct Pending {
        SIMCH key;
        uint8_t code;
    };
    // The owner may open or close players from a callback: the map is not walked meanwhile.
    std::vector<Pending> events;
    for (const auto& [key, p] : playerMap) {
        const uint32_t span = bufferedSpan(*p);
        if (span > kBufferHighMs)
            events.push_back({key, EvBufferHigh});
        else if (span < kBufferLowMs)
            events.push_back({key, EvBufferLow});
    }
    for (const Pending& e : events)
        if (playerMap.count(e.key)) raise(e.key, e.code, 1);
}

void MultiPlayer::paintCell(ChanelPic& c, bool secondTick) {
    RTPPlayer* p = c.player;
    const bool paint = redrawAll || c.dirty || (p && p->statusChanged);
    if (paint) {
        canvas->FillRect(c.area, kBlack);
        Outline(*canvas, c.area, kOutline, 1);
        if (!p)
            canvas->TextRect(c.area, std::to_string(c.number), kNumberSize, kGreen, Align::Centre);
        canvas->FillRect(c.strip(), kBlack);
        Outline(*canvas, c.strip(), kOutline, 1);
    }
    if (p) {
        paintPicture(c, paint);
        if (paint || secondTick) paintCaption(c);
    }
    c.dirty = false;
}

void MultiPlayer::paintPicture(ChanelPic& c, bool paint) {
    const uint32_t* bits = nullptr;
    if (!c.player->Take(paint, bits)) return;
    const int pw = c.player->frame().width(), ph = c.player->frame().height();
    if (pw <= 0 || ph <= 0) return;
    const Rect& a = c.area;
    int dw = pw, dh = ph;
    if (c.fit || ph >= a.height() || pw >= a.width()) {
        const double s = std::min(static_cast<double>(a.width() - 1) / pw,
                                  static_cast<double>(a.height() - 1) / ph);
        dw = static_cast<int>(pw * s);
        dh = static_cast<int>(ph * s);
    }
    // A cell too small for any picture (a surface a few pixels high) shows none.
    if (dw <= 0 || dh <= 0) return;
    const int x = (a.left + a.right - dw + 1) / 2;
    const int y = (a.top + a.bottom - dh + 1) / 2;
    canvas->StretchPicture(Rect{x, y, x + dw, y + dh}, bits, pw, ph);
}

void MultiPlayer::paintCaption(ChanelPic& c) {
    RTPPlayer& p = *c.player;
    const Rect& a = c.area;
    canvas->TextRect(Rect{a.left, a.bottom, a.right - kIconsWidth, a.bottom + 20},
                     CaptionText(c.number, p), kCaptionSize, kWhite, Align::Left);
    if (icons && icons->Count() >= 8) {
        const int images[6] = {p.recording ? 1 : 0, 2, p.paused ? 4 : 3, p.audioOn ? 6 : 5, 7, 8};
        for (int i = 0; i < 6; ++i)
            canvas->DrawIcon(images[i], a.right - kIconsWidth + i * kIconSize, a.bottom + 2);
    }
    p.statusChanged = false;
}

} // namespace ui
