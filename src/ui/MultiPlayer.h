#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "media/GWaveOut.h"
#include "media/PlayTimer.h"
#include "media/RTPPlayer.h"
#include "media/RTPmeta.h"
#include "media/SIMCH.h"
#include "media/SystemSoundDevice.h"
#include "ui/ChanelPic.h"
#include "ui/Desktop.h"
#include "ui/DrawSurface.h"

namespace ui {

class TickPool;

// What happens to a channel, for the owner's event callback.
enum ChannelEvent : uint8_t {
    EvClosed = 0,
    EvStreamSwitch = 1,
    EvPause = 2,
    EvResume = 3,
    EvAudioOn = 4,
    EvAudioOff = 5,
    EvBufferHigh = 6,
    EvBufferLow = 7,
};

enum MouseButton : int { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// The grid of up to twenty pictures: one player per open channel, each bound to a numbered
// cell, laid out by split mode and paged; draws the cells with their captions and icons and
// turns clicks into actions. It owns the one audio output: one channel is heard at a time.
// Everything runs on the user-interface thread; only the players' ticks inside Draw may run
// on a small pool, joined before anything else in that Draw.
class MultiPlayer {
public:
    static constexpr uint8_t kCells = 20;
    static constexpr int kIconSize = 16;
    static constexpr int kIconsWidth = 6 * kIconSize;
    static constexpr uint32_t kBufferHighMs = 5000;
    static constexpr uint32_t kBufferLowMs = 400;
    static constexpr int kAudioBlockMs = 40;
    // Fewer visible players than this are converted exactly, every picture.
    static constexpr int kFewPlayers = 7;
    // Ticks that cost one thread less than this (at the last draw) run on the caller alone.
    static constexpr double kParallelTicksMs = 10;

    // (key, event code, argument)
    using EventCallback = std::function<void(const media::SIMCH&, uint8_t, uint8_t)>;
    // (out path, kind, vehicle name, channel label, extension, time) -> a path was made
    using FilePathCallback = std::function<bool(std::string&, int, const std::string&,
                                                const std::string&, const std::string&, double)>;
    using Players = std::map<media::SIMCH, std::unique_ptr<media::RTPPlayer>>;

    // The counter drives the second clock and every player's clock; the factory makes the
    // audio output's device.
    explicit MultiPlayer(
        const media::PlayTimer::Counter& counter = media::PlayTimer::systemCounter(),
        media::SoundDeviceFactory sound = media::SystemSoundDevice::make);
    ~MultiPlayer();
    MultiPlayer(const MultiPlayer&) = delete;
    MultiPlayer& operator=(const MultiPlayer&) = delete;

    void Init(DrawSurface* surface, uint16_t height, uint16_t width);
    void Clear();

    // Cell 0, or a number without a cell, means the first free cell of the page on show.
    media::RTPPlayer* Open(const media::SIMCH& key, const std::string& vehicleName,
                           const std::string& channelLabel, uint8_t cell, bool mainStream,
                           int sampleRate, int bitsPerSample, int channels);
    bool Close(const media::SIMCH& key);
    void CloseCell(uint8_t number);
    ChanelPic* GetCell(uint8_t number);
    int CountFree() const;
    uint8_t FirstFree() const;
    bool AllEmpty() const;
    void SetStatus(const media::SIMCH& key, const std::string& text);
    void SetWait(const media::SIMCH& key, int seconds);
    void OnFrame(const media::RTPmeta& header, std::string_view bytes);
    // An empty key silences every player.
    void SelectAudio(const media::SIMCH& key);
    void Swap(uint8_t a, uint8_t b);
    void Compact();
    bool SizeUnchanged(uint16_t height, uint16_t width) const;
    bool Layout(uint16_t height, uint16_t width, uint8_t mode);
    void PageStep(bool forward);
    void CellStep(bool forward);
    void Draw();
    void MouseDown(int button, int x, int y);
    void MouseUp(int button, int x, int y);

    // Threads beside the caller that run the players' ticks of one Draw; 0 ticks them all on
    // the caller. The pool is used once the ticks of a draw cost one thread `aboveMs`.
    void SetTickThreads(int threads, double aboveMs = kParallelTicksMs);
    int tickThreads() const;

    // The media a player holds waiting, in ms of its video timeline.
    static uint32_t bufferedSpan(const media::RTPPlayer& p);
    // Pictures per page, columns and rows of a split mode.
    static int PicturesPerPage(uint8_t mode);
    // The mode a surface of this size can show.
    static uint8_t SettleMode(uint16_t height, uint16_t width, uint8_t mode);

    // Set by the main window.
    bool redrawAll = true;
    uint8_t selectedCell = 1;
    uint8_t firstCell = 1;
    uint8_t mode = 4;
    const IconList* icons = nullptr;
    Desktop* desktop = nullptr;
    FilePathCallback MakeFilePath;
    EventCallback OnChannelEvent;

    // Read by the owner; changed only through the operations above.
    const Players& players() const { return playerMap; }
    DrawSurface* surface() const { return canvas; }
    uint16_t height() const { return surfaceHeight; }
    uint16_t width() const { return surfaceWidth; }
    uint8_t pressedCell() const { return pressed; }
    const media::GWaveOut& audioOutput() const { return audio; }

private:
    bool onPage(int cell) const;
    void bind(ChanelPic& c, media::RTPPlayer& p);
    void unbind(ChanelPic& c);
    void raise(const media::SIMCH& key, uint8_t code, uint8_t arg);
    void tickPlayers(bool few);
    void raiseBufferEvents();
    void paintCell(ChanelPic& c, bool secondTick);
    void paintPicture(ChanelPic& c, bool paint);
    void paintCaption(ChanelPic& c);
    void clickIcon(ChanelPic& c, int icon);
    void inform(std::string_view text);
    static uint8_t streamType(const media::RTPPlayer& p) { return p.mainStream ? 0 : 1; }

    const media::PlayTimer::Counter& counter;
    media::PlayTimer secondClock;
    DrawSurface* canvas = nullptr;
    uint16_t surfaceHeight = 0;
    uint16_t surfaceWidth = 0;
    // Written by the players' audio consumers, on a pool thread while ticks run in
    // parallel; it guards itself.
    media::GWaveOut audio;
    Players playerMap;
    std::map<uint8_t, ChanelPic> cells;
    uint8_t pressed = 0;
    std::set<media::SIMCH> closing; // keys whose close event is being raised
    std::unique_ptr<TickPool> pool;
    std::vector<media::RTPPlayer*> tickList; // kept between draws so a tick allocates nothing
    double tickWorkMs = 0;                   // the last draw's ticks, for one thread
    double parallelAboveMs = kParallelTicksMs;
    bool drawing = false;
};

// The caption's play time: "mm:ss" below an hour, else "h:mm:ss".
std::string PlayTimeText(uint32_t ms);
// The caption of a cell holding a player (GBK).
std::string CaptionText(uint8_t number, const media::RTPPlayer& player);

} // namespace ui
