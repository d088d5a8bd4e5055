// The main controller's 30 ms loop and its once-a-second block.

#include <cstdio>

#include "ui/MainControl.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace ui {

void MainControl::Timer1Timer() {
    if (!timerEnabled) return;
    // A box opened inside a tick runs a nested loop whose ticks come here too; such an outer
    // tick is not the loop's own cost and stays out of the figures.
    ++tickDepth;
    nestedTick = tickDepth > 1;
    const int64_t start = counter.count();

    web.runCompletions();
    uint16_t h = 0, w = 0;
    if (surfaceSize) surfaceSize(h, w);
    if (view.surface() != nullptr && !view.SizeUnchanged(h, w)) view.Layout(h, w, view.mode);
    view.Draw();
    video.Poll();
    listener.Poll();
    if (secondClock.SecondTick()) secondStep(clock.now());

    const int64_t frequency = counter.frequency();
    if (frequency > 0 && !(tickDepth == 1 && nestedTick))
        stats.addTick(static_cast<double>(counter.count() - start) * 1000.0 /
                      static_cast<double>(frequency));
    if (--tickDepth == 0) nestedTick = false;
}

void MainControl::secondStep(util::DateTime now) {
    window.userGreen = video.loggedIn();
    window.carSynGreen = vehicleDataLoaded();
    if (mode == kLive) window.timeText = util::formatDateTime("hh:nn:ss", now);

    if (now - lastAgeing > kAgeingDays) {
        web.expireStates();
        lastAgeing = now;
        if (window.carPanelVisible && vehicleDataLoaded()) web.refreshTree(false);
    }
    if (now - lastRefresh > kRefreshDays) {
        lastRefresh = now;
        refreshChannels();
    }
    if (vehicleDataLoaded() && window.carSynCaption != "车辆资料更新中..."_gbk) {
        window.carSynCaption =
            "车辆资料 "_gbk + util::formatDateTime("mm-dd hh:nn", web.vehicleDataTime);
        if (syncCounter > 0) ++syncCounter;
        if (syncCounter > kSyncAfterSeconds) BT_carAccFlushClick();
    }
    if (OnStats) writeStats(now);
    idleCheck();
}

void MainControl::idleCheck() {
    const unsigned idle = desktop != nullptr ? desktop->IdleSeconds() : 0;
    if (idle <= kIdleWarnSeconds) idleWarned = false;
    // A video wall without anyone at the keyboard keeps its pictures.
    if (!idleClosing) return;
    if (idle > kIdleWarnSeconds && !idleWarned && !view.AllEmpty()) {
        idleWarned = true;
        if (desktop != nullptr)
            desktop->Inform("警告"_gbk, "无活动，60秒后关闭视频，继续观看请点击确定"_gbk);
    }
    // The box above may still be open: its nested loop keeps the ticks coming.
    if (desktop != nullptr && desktop->IdleSeconds() > kIdleCloseSeconds && !view.AllEmpty())
        TB_stopallClick();
}

void MainControl::writeStats(util::DateTime now) {
    std::vector<LoopStats::Picture> pictures;
    for (const auto& [key, p] : view.players()) {
        LoopStats::Picture s;
        s.key = key.sim + ":" + std::to_string(key.channel);
        s.cell = p->cell;
        s.bytes = p->stats.bytes;
        s.decoded = p->stats.decoded;
        s.shown = p->stats.shown;
        s.bufferedMs = MultiPlayer::bufferedSpan(*p);
        s.dropped = p->buffer.droppedFrames();
        if (p->stats.firstPictureMs != 0 && p->stats.firstPictureMs >= p->stats.firstDataMs)
            s.startMs = p->stats.firstPictureMs - p->stats.firstDataMs;
        pictures.push_back(std::move(s));
    }
    OnStats(stats.line(now, ResidentBytes(), pictures));
}

} // namespace ui
