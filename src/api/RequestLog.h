#pragma once

#include <string>
#include <string_view>

#include "util/Clock.h"

namespace api {

// The request log "log.txt" in the program directory. Opened and closed for every entry, on
// the owner's thread only; an entry that cannot be written is skipped silently.
class RequestLog {
public:
    explicit RequestLog(const util::Clock& clock = util::systemClock());

    // The setting "收发日志": nothing is written while false.
    bool logOn = false;
    // The login dialog's save box: bodies and replies in full, else only their sizes.
    bool saveBodies = false;

    // GBK, ending in the path separator; the executable's directory until set.
    void setDirectory(std::string directory);
    const std::string& path() const { return logPath; }

    void write(std::string_view label, std::string_view message, std::string_view url,
               std::string_view body, std::string_view reply) const;

    // The entry as `write` appends it, for a given time text.
    std::string format(std::string_view time, std::string_view label, std::string_view message,
                       std::string_view url, std::string_view body, std::string_view reply) const;

    // The running executable's directory (GBK, with a trailing separator).
    static std::string executableDirectory();

private:
    const util::Clock* clock;
    std::string logPath;
};

} // namespace api
