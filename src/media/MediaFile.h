#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace media {

// One open file of the recorder. Writes report failure instead of leaving it to be found
// later, so that a recording can stop at its last whole tag when the disk fills up.
class MediaFile {
public:
    virtual ~MediaFile() = default;
    // All of the bytes at the current position, or false (some may have been written).
    virtual bool write(std::string_view bytes) = 0;
    // Up to n bytes from the current position.
    virtual bool read(size_t n, std::string& out) = 0;
    virtual bool seek(uint64_t offset) = 0;
    virtual bool seekEnd() = 0;
    // Current length; -1 when unknown.
    virtual int64_t size() = 0;
    virtual bool truncate(uint64_t length) = 0;
    virtual bool flush() = 0;
};

// truncate: create the file anew; otherwise open an existing file for reading and writing
// (no file when it does not exist). Paths are GBK, as every text of the system.
using MediaFileOpener =
    std::function<std::unique_ptr<MediaFile>(const std::string& gbkPath, bool truncate)>;

std::unique_ptr<MediaFile> openMediaFile(const std::string& gbkPath, bool truncate);
bool removeMediaFile(const std::string& gbkPath);
// Whole-file write to a temporary twin, renamed into place; nothing half-written is left.
bool writeWholeFile(const std::string& gbkPath, std::string_view bytes);
// At most maxBytes; false when the file cannot be read or is larger.
bool readWholeFile(const std::string& gbkPath, size_t maxBytes, std::string& out);

} // namespace media
