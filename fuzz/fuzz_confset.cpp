// Arbitrary settings files, as found on disk (first byte 0) or as an enciphered body around
// arbitrary plain content (first byte 1, so the reader gets past the cipher): reading never
// reads out of range, and what was read saves and reads back unchanged.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "settings/ConfCipher.h"
#include "settings/ConfSet.h"

namespace {

// A folder of this process, removed again when the fuzzer exits.
struct WorkDir {
    WorkDir() {
        // Memory-backed when possible: every save flushes to disk.
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        path = base / ("fuzz-confset-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

const std::string& workDir() {
    static const WorkDir dir;
    static const std::string text = dir.path.string() + "/";
    return text;
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        settings::ConfEncrypt(bytes);
        const uint32_t n = static_cast<uint32_t>(bytes.size());
        bytes.insert(0, std::string{static_cast<char>(n), static_cast<char>(n >> 8),
                                    static_cast<char>(n >> 16), static_cast<char>(n >> 24)});
    }
    settings::ConfSet store;
    store.Setup(workDir(), "Zorvu");
    writeFile(workDir() + "Zorvu.cfset", bytes);
    if (!store.ReadFile(store.SettingsPath(), store.params)) return 0;
    const auto read = store.params;
    if (!store.Save()) std::abort();
    settings::ConfSet back;
    back.Setup(workDir(), "Zorvu");
    if (!back.Load() || back.params != read) std::abort();
    return 0;
}
