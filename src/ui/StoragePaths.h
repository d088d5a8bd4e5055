#pragma once

#include <cstdint>
#include <string>

#include "util/DateTime.h"

namespace ui {

// Kinds of saved media, each with its folder below the storage root.
enum StorageKind : int {
    kSnapshotFile = 0,  // "截图/", .jpg
    kRecordingFile = 1, // "录像/", .flv
    kPatrolFile = 2,    // "巡查录像/", .flv
    kClipFile = 3,      // "历史剪辑/", .flv
};

// What a file name depends on besides the caller's arguments (all text GBK).
struct StorageContext {
    std::string root;            // the storage root as the operator set it
    bool liveMode = true;        // else playback: the playback day and position name the file
    std::string playbackDate;    // "yyyy-mm-dd"
    uint32_t playbackSecond = 0; // position in the playback day
    std::string patrolPlanTime;  // "hh.nn.ss", the folder of a patrol's recordings
    util::DateTime now = 0;
};

// The one rule for every saved media file: root, kind folder, day folder (and for patrol
// recordings the plan's folder), then vehicle name, channel label and time. Directories on the
// way are created one level at a time. `time` above 1.0 names the file instead of now. False
// for an unknown kind or a directory that does not exist after trying to create it.
bool MakeFilePath(const StorageContext& context, std::string& out, int kind,
                  const std::string& vehicleName, const std::string& channelLabel,
                  const std::string& extension, util::DateTime time);

// The storage root with the separator it needs: a root set without a trailing "/" would put
// every kind folder beside the root instead of inside it.
std::string RootDirectory(const std::string& root);

} // namespace ui
