#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/MediaFile.h"

namespace tavrina_test {

// A file on a disk that holds only `budget` more bytes: a write that would grow the file
// beyond it puts what fits and fails, as a full disk does; overwriting costs nothing.
class FullDiskFile : public media::MediaFile {
public:
    FullDiskFile(std::unique_ptr<media::MediaFile> real, long long& budget)
        : real(std::move(real)), budget(budget) {}
    bool write(std::string_view bytes) override {
        const int64_t end = real->size();
        const auto inside = static_cast<size_t>(std::max<int64_t>(0, end - pos));
        const size_t growth = bytes.size() > inside ? bytes.size() - inside : 0;
        const auto fits = static_cast<size_t>(std::max(0LL, budget));
        if (growth <= fits) {
            budget -= static_cast<long long>(growth);
            pos += static_cast<int64_t>(bytes.size());
            return real->write(bytes);
        }
        real->write(bytes.substr(0, inside + fits));
        pos += static_cast<int64_t>(inside + fits);
        budget = 0;
        return false;
    }
    bool read(size_t n, std::string& out) override {
        const bool ok = real->read(n, out);
        pos += static_cast<int64_t>(out.size());
        return ok;
    }
    bool seek(uint64_t o) override {
        pos = static_cast<int64_t>(o);
        return real->seek(o);
    }
    bool seekEnd() override {
        pos = real->size();
        return real->seekEnd();
    }
    int64_t size() override { return real->size(); }
    bool truncate(uint64_t n) override { return real->truncate(n); }
    bool flush() override { return real->flush(); }

private:
    std::unique_ptr<media::MediaFile> real;
    long long& budget;
    int64_t pos = 0;
};

// An opener whose files all draw on one budget.
inline media::MediaFileOpener fullDiskOpener(long long& budget) {
    return [&budget](const std::string& p, bool truncate) {
        std::unique_ptr<media::MediaFile> f;
        if (auto real = media::openMediaFile(p, truncate))
            f = std::make_unique<FullDiskFile>(std::move(real), budget);
        return f;
    };
}

} // namespace tavrina_test
