#include "settings/ConfSet.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "settings/ConfCipher.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/GbkText.h"

namespace settings {

using namespace util::literals;
namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Store paths are GBK like every text of the system; the file system takes the locale's UTF-8.
std::string osPath(const std::string& gbk) {
    return util::gbkToUtf8(gbk);
}

bool exists(const std::string& gbk) {
    std::error_code ec;
    return fs::exists(osPath(gbk), ec);
}

// Makes a rename in `dir` durable; failure only costs durability, not content.
void syncDirectory(const std::string& gbkDir) {
    const std::string dir = gbkDir.empty() ? std::string(".") : osPath(gbkDir);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool fitsFloat(uint8_t type) {
    return type == kConfFloat;
}

bool readRecord(util::BEUnpack& in, ConfVal& v) {
    uint8_t internal = 0, count = 0;
    if (!in.str8(v.category) || !in.str8(v.name) || !in.str32(v.value) || !in.u8(internal) ||
        !in.u8(v.type) || !in.str16(v.description) || !in.u8(count))
        return false;
    v.internal = internal != 0;
    for (unsigned i = 0; i < count; ++i) {
        uint8_t key = 0;
        std::string text;
        if (!in.u8(key) || !in.str8(text)) return false;
        v.dictionary.emplace(key, std::move(text));
    }
    return true;
}

} // namespace

void ConfSet::Setup(std::string dir, std::string base) {
    directory = std::move(dir);
    baseName = std::move(base);
}

ConfVal* ConfSet::Find(const std::string& name) {
    auto it = params.find(name);
    return it == params.end() ? nullptr : &it->second;
}

const ConfVal* ConfSet::Find(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? nullptr : &it->second;
}

std::string ConfSet::Serialize() const {
    util::BEPack out;
    out.str8(baseName).u32(static_cast<uint32_t>(params.size()));
    for (const auto& [name, v] : params) {
        out.str8(v.category).str8(name).str32(v.value);
        out.u8(v.internal ? 1 : 0).u8(v.type).str16(v.description);
        // The count is one byte: a 256th entry is not written.
        const size_t count = std::min<size_t>(v.dictionary.size(), 0xFF);
        out.u8(static_cast<uint8_t>(count));
        size_t written = 0;
        for (const auto& [key, text] : v.dictionary) {
            if (written++ == count) break;
            out.u8(key).str8(text);
        }
    }
    return out.take();
}

bool ConfSet::Save() {
    std::string body = Serialize();
    if (!ConfEncrypt(body)) {
        Message = "设置内容加密失败"_gbk;
        return false;
    }
    if (!writeTemp(body)) return false;
    return SettleFiles(false);
}

// The new content must be completely on disk before it may replace the settings file; a
// short write (a full disk) removes the temporary file instead.
bool ConfSet::writeTemp(const std::string& body) {
    const std::string path = osPath(TempPath());
    FilePtr f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        Message = "打开设置文件失败"_gbk;
        return false;
    }
    const uint32_t n = static_cast<uint32_t>(body.size());
    const unsigned char len[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16),
                                  static_cast<unsigned char>(n >> 24)};
    bool ok = body.size() <= UINT32_MAX && std::fwrite(len, 1, 4, f.get()) == 4 &&
              std::fwrite(body.data(), 1, body.size(), f.get()) == body.size() &&
              std::fflush(f.get()) == 0 && ::fsync(fileno(f.get())) == 0;
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
        Message = "写入设置文件失败"_gbk;
    }
    return ok;
}

bool ConfSet::SettleFiles(bool forLoad) {
    const std::string tmp = TempPath();
    const std::string cfg = SettingsPath();
    if (exists(tmp)) {
        if (forLoad) {
            Params scratch;
            if (!ReadFile(tmp, scratch)) {
                if (!exists(cfg)) return false; // the reading error stays the message
                Message = "使用旧设置文件"_gbk;
                return true;
            }
        }
        // rename() replaces the settings file in one step: there is never a moment without one.
        std::error_code ec;
        fs::rename(osPath(tmp), osPath(cfg), ec);
        if (ec) {
            Message = "设置文件改名失败"_gbk;
            return false;
        }
        syncDirectory(directory);
        Message.clear();
        return true;
    }
    if (exists(cfg)) {
        Message.clear();
        return true;
    }
    Message = "设置文件不存在"_gbk;
    return false;
}

bool ConfSet::Load() {
    if (!SettleFiles(true)) return false;
    return ReadFile(SettingsPath(), params);
}

bool ConfSet::ReadFile(const std::string& path, Params& target) {
    FilePtr f(std::fopen(osPath(path).c_str(), "rb"));
    if (!f) {
        Message = "打开设置文件失败"_gbk;
        return false;
    }
    unsigned char len[4];
    if (std::fread(len, 1, 4, f.get()) != 4) {
        Message = "设置文件错误"_gbk;
        return false;
    }
    const uint32_t n = uint32_t{len[0]} | (uint32_t{len[1]} << 8) | (uint32_t{len[2]} << 16) |
                       (uint32_t{len[3]} << 24);
    // The length comes from the file: the body grows with what is really read, never by it.
    std::string body;
    char piece[1024];
    while (body.size() < n) {
        const size_t want = std::min<size_t>(sizeof piece, n - body.size());
        const size_t got = std::fread(piece, 1, want, f.get());
        body.append(piece, got);
        if (got < want) {
            Message = "设置文件错误"_gbk;
            return false;
        }
    }
    f.reset();
    if (!ConfDecrypt(body)) {
        Message = "设置内容解密失败"_gbk;
        return false;
    }
    util::BEUnpack in(body);
    std::string signature;
    if (!in.str8(signature)) {
        Message = "设置文件错误"_gbk;
        return false;
    }
    if (signature != baseName) {
        Message = "设置文件非本程序适用"_gbk;
        return false;
    }
    uint32_t count = 0;
    if (!in.u32(count)) {
        Message = "设置文件错误"_gbk;
        return false;
    }
    target.clear();
    for (uint32_t i = 0; i < count; ++i) {
        ConfVal v;
        if (!readRecord(in, v)) {
            Message = "设置文件错误"_gbk;
            return false;
        }
        std::string name = v.name;
        target.emplace(std::move(name), std::move(v));
    }
    return true;
}

const ConfVal* ConfSet::typed(const std::string& name, bool (*fits)(uint8_t),
                              const std::string& kindMsg) {
    const ConfVal* v = Find(name);
    if (!v) {
        Message = "无["_gbk + name + "]参数"_gbk;
        return nullptr;
    }
    if (!fits(v->type)) {
        Message = "参数["_gbk + name + kindMsg;
        return nullptr;
    }
    return v;
}

bool ConfSet::GetStr(const std::string& name, std::string& out) {
    const ConfVal* v = typed(name, ConfVal::IsText, "]类型非字符串"_gbk);
    if (!v) return false;
    util::BEUnpack in(v->value);
    std::string s;
    if (!(v->type == kConfData ? in.str32(s) : in.str16(s))) {
        Message = "提取["_gbk + name + "]参数值出错"_gbk;
        return false;
    }
    out = std::move(s);
    return true;
}

bool ConfSet::GetInt(const std::string& name, uint32_t& out) {
    const ConfVal* v = typed(name, ConfVal::IsInt, "]类型非数字"_gbk);
    if (!v) return false;
    util::BEUnpack in(v->value);
    uint32_t x = 0;
    if (!in.u32(x)) {
        Message = "提取["_gbk + name + "]参数值出错"_gbk;
        return false;
    }
    out = x;
    return true;
}

bool ConfSet::GetInt(const std::string& name, int32_t& out) {
    uint32_t x = 0;
    if (!GetInt(name, x)) return false;
    out = static_cast<int32_t>(x);
    return true;
}

bool ConfSet::GetBool(const std::string& name, bool& out) {
    uint32_t x = 0;
    if (!GetInt(name, x)) return false;
    out = (x & 0xFF) != 0;
    return true;
}

bool ConfSet::GetByte(const std::string& name, uint8_t& out) {
    uint32_t x = 0;
    if (!GetInt(name, x)) return false;
    out = static_cast<uint8_t>(x);
    return true;
}

bool ConfSet::GetPort(const std::string& name, uint16_t& out) {
    uint32_t x = 0;
    if (!GetInt(name, x)) return false;
    if (x < 1 || x > 65535) {
        Message = "提取["_gbk + name + "]参数值出错"_gbk;
        return false;
    }
    out = static_cast<uint16_t>(x);
    return true;
}

bool ConfSet::GetFloat(const std::string& name, double& out) {
    const ConfVal* v = typed(name, fitsFloat, "]类型非小数"_gbk);
    if (!v) return false;
    util::BEUnpack in(v->value);
    double x = 0;
    if (!in.f64(x)) {
        Message = "提取["_gbk + name + "]参数值出错"_gbk;
        return false;
    }
    out = x;
    return true;
}

bool ConfSet::SetStr(const std::string& name, std::string_view s) {
    if (!typed(name, ConfVal::IsText, "]类型非字符串"_gbk)) return false;
    ConfVal& v = params.find(name)->second;
    if (v.type == kConfData && s.size() > UINT32_MAX) {
        Message = "设置["_gbk + name + "]参数值出错"_gbk;
        return false;
    }
    std::string encoded;
    util::BEPack out(encoded);
    if (v.type == kConfData)
        out.str32(s);
    else
        out.str16(s.substr(0, kMaxText));
    v.value = std::move(encoded);
    return true;
}

bool ConfSet::SetInt(const std::string& name, uint32_t x) {
    if (!typed(name, ConfVal::IsInt, "]类型非数字"_gbk)) return false;
    std::string encoded;
    util::BEPack(encoded).u32(x);
    params.find(name)->second.value = std::move(encoded);
    return true;
}

bool ConfSet::SetFloat(const std::string& name, double x) {
    if (!typed(name, fitsFloat, "]类型非小数"_gbk)) return false;
    std::string encoded;
    util::BEPack(encoded).f64(x);
    params.find(name)->second.value = std::move(encoded);
    return true;
}

} // namespace settings
