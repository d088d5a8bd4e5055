#include "api/RequestLog.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "util/DateTime.h"
#include "util/GbkText.h"

namespace api {

namespace {

struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

RequestLog::RequestLog(const util::Clock& clock) : clock(&clock) {
    setDirectory(executableDirectory());
}

void RequestLog::setDirectory(std::string directory) {
    if (!directory.empty() && directory.back() != '/') directory += '/';
    logPath = std::move(directory) + "log.txt";
}

std::string RequestLog::executableDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return util::utf8ToGbk(exe.parent_path().string()) + "/";
}

std::string RequestLog::format(std::string_view time, std::string_view label,
                               std::string_view message, std::string_view url,
                               std::string_view body, std::string_view reply) const {
    std::string out;
    out.append(time).append(" [").append(label).append("]\n");
    if (!message.empty()) out.append("[MSG]:").append(message).append("\n");
    if (!url.empty()) out.append("[URL]:").append(url).append("\n");
    if (saveBodies) {
        if (!body.empty()) out.append("[POST]:").append(body).append("\n");
        if (!reply.empty()) out.append("[REC]:").append(reply).append("\n");
    } else {
        if (!body.empty()) out.append("[POST][size]:").append(std::to_string(body.size())) += '\n';
        if (!reply.empty()) out.append("[REC][size]:").append(std::to_string(reply.size())) += '\n';
    }
    return out;
}

void RequestLog::write(std::string_view label, std::string_view message, std::string_view url,
                       std::string_view body, std::string_view reply) const {
    if (!logOn) return;
    const std::string entry = format(util::formatDateTime("yyyy-mm-dd hh:nn:ss", clock->now()),
                                     label, message, url, body, reply);
    std::unique_ptr<std::FILE, FileClose> f(std::fopen(util::gbkToUtf8(logPath).c_str(), "ab"));
    if (!f) return;
    std::fwrite(entry.data(), 1, entry.size(), f.get());
}

} // namespace api
