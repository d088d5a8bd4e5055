#include "ui/StoragePaths.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "util/GbkText.h"

using namespace util::literals;

namespace ui {

namespace {

// Creates one level (the parent must exist) and tells whether the directory is there after.
bool ensureDirectory(const std::string& gbkPath) {
    const std::filesystem::path p(util::gbkToUtf8(gbkPath));
    std::error_code ec;
    if (!std::filesystem::is_directory(p, ec)) std::filesystem::create_directory(p, ec);
    return std::filesystem::is_directory(p, ec);
}

const std::string* folderOf(int kind) {
    switch (kind) {
    case kSnapshotFile:
        return &"截图/"_gbk;
    case kRecordingFile:
        return &"录像/"_gbk;
    case kPatrolFile:
        return &"巡查录像/"_gbk;
    case kClipFile:
        return &"历史剪辑/"_gbk;
    default:
        return nullptr;
    }
}

// Names come from the platform: a "/" in them must not lead out of the day folder. (In GBK
// 0x2F is never part of a double-byte character.)
std::string fileNamePart(std::string text) {
    for (char& ch : text)
        if (ch == '/' || ch == '\0') ch = '_';
    return text;
}

} // namespace

std::string RootDirectory(const std::string& root) {
    if (root.empty() || root.back() == '/') return root;
    return root + "/";
}

bool MakeFilePath(const StorageContext& c, std::string& out, int kind,
                  const std::string& vehicleName, const std::string& channelLabel,
                  const std::string& extension, util::DateTime time) {
    const std::string* folder = folderOf(kind);
    if (folder == nullptr) return false;
    std::string path = RootDirectory(c.root) + *folder;
    if (!ensureDirectory(path)) return false;

    const bool explicitTime = time > 1.0;
    std::string day, stamp;
    if (explicitTime || c.liveMode) {
        const util::DateTime t = explicitTime ? time : c.now;
        day = util::formatDateTime("yyyy-mm-dd", t);
        stamp = util::formatDateTime("yyyy-mm-dd hh.nn.ss", t);
    } else {
        char position[32];
        std::snprintf(position, sizeof position, " %02u.%02u.%02u", c.playbackSecond / 3600,
                      c.playbackSecond / 60 % 60, c.playbackSecond % 60);
        day = c.playbackDate;
        stamp = c.playbackDate + position;
    }
    path += day + "/";
    if (!ensureDirectory(path)) return false;
    if (kind == kPatrolFile) {
        path += c.patrolPlanTime + "/";
        if (!ensureDirectory(path)) return false;
    }
    out = path + fileNamePart(vehicleName) + "_" + fileNamePart(channelLabel) + "_" + stamp +
          extension;
    return true;
}

} // namespace ui
