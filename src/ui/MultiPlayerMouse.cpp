// The grid's mouse: selecting, dragging a picture onto another cell, the caption icons.

#include "ui/MultiPlayer.h"
#include "util/GbkText.h"

using namespace util::literals;
using media::RTPPlayer;
using media::SIMCH;

namespace ui {

namespace {

enum Icon { kRecord, kSnapshot, kPause, kSound, kFit, kClose, kIcons };

enum FileKind { kSnapshotFile = 0, kRecordingFile = 1 };

} // namespace

void MultiPlayer::MouseDown(int button, int x, int y) {
    if (!canvas || button != mbLeft) return;
    const int count = PicturesPerPage(mode);
    for (int j = 0; j < count; ++j) {
        ChanelPic* c = GetCell(static_cast<uint8_t>(firstCell + j));
        if (c == nullptr) continue;
        if (c->area.holds(x, y)) {
            pressed = c->number;
            return;
        }
        const Rect strip = c->strip();
        if (c->player && strip.holds(x, y)) {
            // A press that picked up no picture must not let the release swap an old one.
            pressed = 0;
            for (int i = 0; i < kIcons; ++i) {
                const int left = c->area.right - kIconsWidth + i * kIconSize;
                if (Rect{left, strip.top, left + kIconSize, strip.bottom}.holds(x, y)) {
                    clickIcon(*c, i);
                    return;
                }
            }
            return;
        }
    }
    pressed = 0;
}

void MultiPlayer::MouseUp(int button, int x, int y) {
    if (!canvas || button != mbLeft) return;
    const int count = PicturesPerPage(mode);
    for (int j = 0; j < count; ++j) {
        ChanelPic* c = GetCell(static_cast<uint8_t>(firstCell + j));
        if (c == nullptr || !c->area.holds(x, y)) continue;
        selectedCell = c->number;
        if (c->number != pressed) Swap(c->number, pressed);
        redrawAll = true;
        return;
    }
}

void MultiPlayer::clickIcon(ChanelPic& c, int icon) {
    RTPPlayer& p = *c.player;
    const SIMCH key = p.key;
    std::string path;
    switch (icon) {
    case kRecord:
        if (p.recording) {
            p.StopRecording();
            c.dirty = true;
            inform("录像结束"_gbk);
        } else if (MakeFilePath) {
            if (MakeFilePath(path, kRecordingFile, p.displayName, p.labelText, ".flv", 0)) {
                p.StartRecording(path);
                inform("开始录像"_gbk);
            } else {
                inform("保存文件失败，可能硬盘满了。"_gbk);
            }
        }
        break;
    case kSnapshot:
        if (MakeFilePath) {
            if (MakeFilePath(path, kSnapshotFile, p.displayName, p.labelText, ".jpg", 0)) {
                p.Snapshot(path);
                inform("截图成功"_gbk);
            } else {
                inform("保存文件失败，可能硬盘满了。"_gbk);
            }
        }
        break;
    case kPause:
        p.paused = !p.paused;
        raise(key, p.paused ? EvPause : EvResume, streamType(p));
        c.dirty = true;
        break;
    case kSound: {
        const uint8_t type = streamType(p);
        if (!p.audioOn) {
            SelectAudio(key);
            raise(key, EvAudioOn, type);
        } else {
            SelectAudio(SIMCH{});
            raise(key, EvAudioOff, type);
        }
        redrawAll = true;
        break;
    }
    case kFit:
        c.fit = !c.fit;
        c.dirty = true;
        break;
    case kClose:
        Close(key);
        c.dirty = true;
        break;
    }
}

} // namespace ui
