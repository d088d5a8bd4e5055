#include "media/MediaFile.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "util/GbkText.h"

namespace media {

namespace {

struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

std::string localPath(const std::string& gbkPath) {
    return util::gbkToUtf8(gbkPath);
}

class StdioFile : public MediaFile {
public:
    explicit StdioFile(FilePtr f) : file(std::move(f)) {}

    bool write(std::string_view bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    }
    bool read(size_t n, std::string& out) override {
        out.assign(n, '\0');
        out.resize(std::fread(out.data(), 1, n, file.get()));
        return !std::ferror(file.get());
    }
    bool seek(uint64_t offset) override {
        return std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0;
    }
    bool seekEnd() override { return std::fseek(file.get(), 0, SEEK_END) == 0; }
    int64_t size() override {
        const long here = std::ftell(file.get());
        if (here < 0 || std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
        const long end = std::ftell(file.get());
        std::fseek(file.get(), here, SEEK_SET);
        return end;
    }
    bool truncate(uint64_t length) override {
        return std::fflush(file.get()) == 0 &&
               ::ftruncate(fileno(file.get()), static_cast<off_t>(length)) == 0;
    }
    bool flush() override { return std::fflush(file.get()) == 0; }

private:
    FilePtr file;
};

} // namespace

std::unique_ptr<MediaFile> openMediaFile(const std::string& gbkPath, bool truncate) {
    FilePtr f(std::fopen(localPath(gbkPath).c_str(), truncate ? "w+b" : "r+b"));
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(std::move(f));
}

bool removeMediaFile(const std::string& gbkPath) {
    std::error_code ec;
    return std::filesystem::remove(localPath(gbkPath), ec);
}

bool writeWholeFile(const std::string& gbkPath, std::string_view bytes) {
    const std::string path = localPath(gbkPath);
    const std::string twin = path + ".tmp";
    {
        FilePtr f(std::fopen(twin.c_str(), "wb"));
        if (!f) return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
        if (std::fclose(f.release()) != 0 || !ok) {
            std::remove(twin.c_str());
            return false;
        }
    }
    if (std::rename(twin.c_str(), path.c_str()) == 0) return true;
    std::remove(twin.c_str());
    return false;
}

bool readWholeFile(const std::string& gbkPath, size_t maxBytes, std::string& out) {
    out.clear();
    FilePtr f(std::fopen(localPath(gbkPath).c_str(), "rb"));
    if (!f) return false;
    char block[65536];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) {
        if (out.size() + n > maxBytes) return false;
        out.append(block, n);
    }
    return !std::ferror(f.get());
}

} // namespace media
