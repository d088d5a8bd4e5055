#include "ui/MultiPlayer.h"

#include <algorithm>
#include <thread>

#include "ui/TickPool.h"
#include "util/GbkText.h"

using namespace util::literals;
using media::RTPPlayer;
using media::SIMCH;

namespace ui {

namespace {

struct Shape {
    int count;
    int columns;
    int rows;
};

Shape shapeOf(uint8_t mode) {
    switch (mode) {
    case 2:
        return {4, 2, 2};
    case 3:
        return {9, 3, 3};
    case 4:
        return {20, 5, 4};
    case 5:
        return {2, 2, 1};
    case 6:
        return {6, 3, 3};
    default:
        return {1, 1, 1};
    }
}

// Mode 6: the first picture takes the top left 2 x 2 slots of a 3 x 3 grid.
constexpr int kMode6Slots[6] = {0, 2, 5, 6, 7, 8};

// One thread beside the user-interface thread per spare core, and no more than three: the
// players' ticks are the only work that spreads.
int defaultTickThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 1 ? 0 : static_cast<int>(std::min(cores - 1, 3u));
}

} // namespace

MultiPlayer::MultiPlayer(const media::PlayTimer::Counter& c, media::SoundDeviceFactory sound)
    : counter(c), secondClock(c), audio(std::move(sound)) {
    SetTickThreads(defaultTickThreads());
}

MultiPlayer::~MultiPlayer() {
    // The owner is going away: nobody is left to tell.
    OnChannelEvent = nullptr;
    MakeFilePath = nullptr;
    for (auto& [key, player] : playerMap)
        player->Stop();
}

void MultiPlayer::SetTickThreads(int threads, double aboveMs) {
    pool = threads > 0 ? std::make_unique<TickPool>(threads) : nullptr;
    parallelAboveMs = aboveMs;
}

int MultiPlayer::tickThreads() const {
    return pool ? pool->workers() : 0;
}

int MultiPlayer::PicturesPerPage(uint8_t m) {
    return shapeOf(m).count;
}

uint8_t MultiPlayer::SettleMode(uint16_t h, uint16_t w, uint8_t m) {
    if (m == 4 && (h < 665 || w < 880)) m = 3;
    if (m == 0) m = 1;
    if (m > 6) m = 3;
    if ((m == 3 || m == 6) && (h < 499 || w < 535)) m = 2;
    if ((m == 2 || m == 5) && (h < 333 || w < 357)) m = 1;
    return m;
}

void MultiPlayer::Init(DrawSurface* s, uint16_t h, uint16_t w) {
    Clear();
    secondClock.Start();
    canvas = s;
    for (uint8_t n = 1; n <= kCells; ++n) {
        ChanelPic c;
        c.number = n;
        cells[n] = c;
    }
    Layout(h, w, mode);
    redrawAll = true;
}

void MultiPlayer::Clear() {
    for (uint8_t n = 1; n <= kCells; ++n)
        CloseCell(n);
    if (canvas) canvas->FillRect(Rect{0, 0, surfaceWidth, surfaceHeight}, rgb(0, 0, 0));
    canvas = nullptr;
    for (auto& [key, player] : playerMap)
        player->Stop();
    playerMap.clear();
    cells.clear();
    audio.Close();
    redrawAll = true;
}

bool MultiPlayer::onPage(int cell) const {
    return cell >= firstCell && cell < firstCell + PicturesPerPage(mode);
}

void MultiPlayer::bind(ChanelPic& c, RTPPlayer& p) {
    c.player = &p;
    p.cell = c.number;
    c.dirty = true;
}

void MultiPlayer::unbind(ChanelPic& c) {
    c.player = nullptr;
    c.dirty = true;
}

void MultiPlayer::raise(const SIMCH& key, uint8_t code, uint8_t arg) {
    if (OnChannelEvent) OnChannelEvent(key, code, arg);
}

RTPPlayer* MultiPlayer::Open(const SIMCH& key, const std::string& vehicleName,
                             const std::string& channelLabel, uint8_t cell, bool mainStream,
                             int sampleRate, int bitsPerSample, int channels) {
    if (!canvas) return nullptr;
    const SIMCH wanted = key; // the caller's key may belong to a player closed below
    if (GetCell(cell) == nullptr) cell = 0;
    if (cell != 0) {
        ChanelPic& given = cells[cell];
        if (given.player) {
            if (given.player->key == wanted) {
                given.player->Start();
                return given.player;
            }
            Close(SIMCH(given.player->key));
        }
    }

    if (auto it = playerMap.find(wanted); it != playerMap.end()) {
        RTPPlayer& p = *it->second;
        if (cell != 0) {
            if (ChanelPic* old = GetCell(static_cast<uint8_t>(p.cell)); old && old->player == &p)
                unbind(*old);
            bind(cells[cell], p);
        }
        selectedCell = static_cast<uint8_t>(p.cell);
        redrawAll = true;
        p.Start();
        return &p;
    }

    if (cell == 0) cell = FirstFree();
    if (cell == 0) return nullptr;
    auto made = std::make_unique<RTPPlayer>(counter);
    RTPPlayer& p = *made;
    p.key = wanted;
    p.displayName = vehicleName;
    p.labelText = channelLabel;
    p.cell = cell;
    p.mainStream = mainStream;
    p.audioOn = false;
    p.audioFormat = media::SoundFormat{sampleRate, bitsPerSample, channels};
    p.OnAudio = [this](std::string_view pcm) { audio.Write(pcm); };
    playerMap.emplace(wanted, std::move(made));
    p.Start();
    bind(cells[cell], p);
    return &p;
}

bool MultiPlayer::Close(const SIMCH& key) {
    const SIMCH k = key; // the caller's key may be the player's own
    // A close of this key from inside its own close event has nothing more to do.
    if (playerMap.find(k) == playerMap.end() || closing.count(k)) return false;
    closing.insert(k);
    raise(k, EvClosed, 1);
    closing.erase(k);
    auto it = playerMap.find(k);
    if (it == playerMap.end()) return true; // the owner closed it meanwhile
    RTPPlayer& p = *it->second;
    p.Stop();
    if (ChanelPic* c = GetCell(static_cast<uint8_t>(p.cell)); c && c->player == &p) unbind(*c);
    playerMap.erase(it);
    return true;
}

void MultiPlayer::CloseCell(uint8_t number) {
    if (ChanelPic* c = GetCell(number); c && c->player) Close(SIMCH(c->player->key));
}

ChanelPic* MultiPlayer::GetCell(uint8_t number) {
    auto it = cells.find(number);
    return it == cells.end() ? nullptr : &it->second;
}

int MultiPlayer::CountFree() const {
    int n = 0;
    for (const auto& [number, c] : cells)
        n += onPage(number) && c.player == nullptr;
    return n;
}

uint8_t MultiPlayer::FirstFree() const {
    for (const auto& [number, c] : cells)
        if (onPage(number) && c.player == nullptr) return number;
    return 0;
}

bool MultiPlayer::AllEmpty() const {
    return std::none_of(cells.begin(), cells.end(),
                        [](const auto& entry) { return entry.second.player != nullptr; });
}

void MultiPlayer::SetStatus(const SIMCH& key, const std::string& text) {
    auto it = playerMap.find(key);
    if (it == playerMap.end()) return;
    ChanelPic* c = GetCell(static_cast<uint8_t>(it->second->cell));
    if (c == nullptr || c->player != it->second.get()) return;
    it->second->statusText = text;
    c->dirty = true;
}

void MultiPlayer::SetWait(const SIMCH& key, int seconds) {
    auto it = playerMap.find(key);
    if (it == playerMap.end()) return;
    ChanelPic* c = GetCell(static_cast<uint8_t>(it->second->cell));
    if (c == nullptr || c->player != it->second.get()) return;
    it->second->waitSeconds = seconds;
}

uint32_t MultiPlayer::bufferedSpan(const RTPPlayer& p) {
    return p.buffer.videoOut - p.buffer.lastVideoOut;
}

void MultiPlayer::OnFrame(const media::RTPmeta& header, std::string_view bytes) {
    auto it = playerMap.find(header.simch);
    if (it == playerMap.end()) return;
    it->second->Input(header, bytes);
    if (OnChannelEvent && bufferedSpan(*it->second) > kBufferHighMs)
        raise(SIMCH(header.simch), EvBufferHigh, 1);
}

void MultiPlayer::SelectAudio(const SIMCH& key) {
    for (auto& [k, p] : playerMap) {
        if (!key.sim.empty() && k == key) {
            audio.Open(p->audioFormat.sampleRate, p->audioFormat.bitsPerSample,
                       p->audioFormat.channels, kAudioBlockMs);
            p->audioOn = true;
        } else {
            p->audioOn = false;
        }
    }
    audio.ResetRing();
}

void MultiPlayer::Swap(uint8_t a, uint8_t b) {
    ChanelPic* ca = GetCell(a);
    ChanelPic* cb = GetCell(b);
    if (ca == nullptr || cb == nullptr) return;
    std::swap(ca->player, cb->player);
    std::swap(ca->fit, cb->fit);
    if (ca->player) ca->player->cell = a;
    if (cb->player) cb->player->cell = b;
    redrawAll = true;
}

void MultiPlayer::Compact() {
    for (uint8_t i = 1; i < kCells; ++i) {
        ChanelPic* ci = GetCell(i);
        if (ci == nullptr || ci->player) continue;
        for (uint8_t j = i + 1; j <= kCells; ++j) {
            ChanelPic* cj = GetCell(j);
            if (cj && cj->player) {
                Swap(i, j);
                break;
            }
        }
    }
}

bool MultiPlayer::SizeUnchanged(uint16_t h, uint16_t w) const {
    return canvas == nullptr || (h == surfaceHeight && w == surfaceWidth);
}

bool MultiPlayer::Layout(uint16_t h, uint16_t w, uint8_t m) {
    if (!canvas) return false;
    surfaceHeight = h;
    surfaceWidth = w;
    mode = SettleMode(h, w, m);
    const Shape s = shapeOf(mode);

    int first = firstCell;
    const int selected = selectedCell;
    if (first + s.count - 1 < selected) first = selected - s.count + 1;
    if (selected < first) first = selected;
    if (first + s.count - 1 > kCells) first = kCells + 1 - s.count;
    firstCell = static_cast<uint8_t>(first);

    const int cellWidth = (w - 1) / s.columns;
    const int cellHeight = (h - 1) / s.rows;
    for (int i = 0; i < s.count; ++i) {
        ChanelPic* c = GetCell(static_cast<uint8_t>(first + i));
        if (c == nullptr) continue;
        const int u = mode == 6 ? kMode6Slots[i] : i;
        Rect& a = c->area;
        a.left = (u % s.columns) * cellWidth;
        a.right = a.left + cellWidth;
        a.top = (u / s.columns) * cellHeight;
        a.bottom = a.top + cellHeight - ChanelPic::kStripHeight;
        if (mode == 6 && i == 0) {
            a.right = 2 * cellWidth;
            a.bottom = 2 * cellHeight - ChanelPic::kStripHeight;
        }
        c->dirty = true;
    }
    redrawAll = true;
    return true;
}

void MultiPlayer::PageStep(bool forward) {
    if (!canvas) return;
    const int count = PicturesPerPage(mode);
    int first = firstCell;
    if (forward) {
        if (first + count - 1 == kCells) return;
        first = first + count - 1 > kCells ? kCells + 1 - count : first + count;
    } else {
        if (first == 1) return;
        first = count >= first ? 1 : first - count;
    }
    firstCell = static_cast<uint8_t>(first);
    if (firstCell > selectedCell)
        selectedCell = firstCell;
    else if (firstCell + count - 1 < selectedCell)
        selectedCell = static_cast<uint8_t>(firstCell + count - 1);
    Layout(surfaceHeight, surfaceWidth, mode);
}

void MultiPlayer::CellStep(bool forward) {
    if (!canvas) return;
    const int count = PicturesPerPage(mode);
    int first = firstCell;
    if (forward) {
        if (first + count - 1 == kCells) return;
        first = first > kCells ? kCells + 1 - count : first + 1;
    } else {
        if (first <= 1) return;
        first = first - 1;
    }
    firstCell = static_cast<uint8_t>(first);
    if (firstCell > selectedCell)
        selectedCell = firstCell;
    else if (firstCell + count - 1 < selectedCell)
        selectedCell = static_cast<uint8_t>(firstCell + count - 1);
    Layout(surfaceHeight, surfaceWidth, mode);
}

void MultiPlayer::inform(std::string_view text) {
    if (desktop) desktop->Inform("提示"_gbk, text);
}

} // namespace ui
