#include "ValueText.h"

#include <charconv>
#include <cstdint>

#include "util/GbkText.h"
#include "util/Hex.h"

namespace valuetext {

using settings::ConfSet;
using settings::ConfVal;

namespace {

bool storeFailed(const ConfSet& store, std::string& error) {
    error = util::gbkToUtf8(store.Message);
    return false;
}

// -2147483648 to 4294967295: a signed or an unsigned 32-bit value, as callers read it.
bool parseInt(std::string_view s, uint32_t& out) {
    int64_t v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    if (v < INT32_MIN || v > int64_t{UINT32_MAX}) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool parseFloat(std::string_view s, double& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

} // namespace

bool setFromText(ConfSet& store, const std::string& name, std::string_view text,
                 std::string& error) {
    const ConfVal* v = store.Find(name);
    if (!v) {
        store.SetStr(name, {}); // fails with the store's own message
        return storeFailed(store, error);
    }
    bool ok = false;
    if (v->type == settings::kConfData) {
        std::string bytes;
        if (!util::hexToBytes(text, bytes)) {
            error = "not hexadecimal data: " + std::string(text);
            return false;
        }
        ok = store.SetStr(name, bytes);
    } else if (ConfVal::IsText(v->type)) {
        ok = store.SetStr(name, util::utf8ToGbk(text));
    } else if (ConfVal::IsInt(v->type)) {
        uint32_t x = 0;
        if (!parseInt(text, x)) {
            error = "not a 32-bit integer: " + std::string(text);
            return false;
        }
        ok = store.SetInt(name, x);
    } else if (v->type == settings::kConfFloat) {
        double x = 0;
        if (!parseFloat(text, x)) {
            error = "not a number: " + std::string(text);
            return false;
        }
        ok = store.SetFloat(name, x);
    } else {
        ok = store.SetStr(name, {}); // an unknown type: the store says why
    }
    return ok || storeFailed(store, error);
}

bool toText(ConfSet& store, const std::string& name, std::string& text, std::string& error) {
    const ConfVal* v = store.Find(name);
    if (v && v->type == settings::kConfFloat) {
        double x = 0;
        if (!store.GetFloat(name, x)) return storeFailed(store, error);
        char buf[40];
        const auto r = std::to_chars(buf, buf + sizeof buf, x);
        text.assign(buf, r.ptr);
        return true;
    }
    if (v && ConfVal::IsInt(v->type)) {
        uint32_t x = 0;
        if (!store.GetInt(name, x)) return storeFailed(store, error);
        // Integers read back as they were most likely meant: ports and flags are positive,
        // and a stored -1 shows as -1.
        text = x > INT32_MAX ? std::to_string(static_cast<int32_t>(x)) : std::to_string(x);
        return true;
    }
    std::string s;
    if (!store.GetStr(name, s)) return storeFailed(store, error);
    text = v->type == settings::kConfData ? util::bytesToHex(s) : util::gbkToUtf8(s);
    return true;
}

int typeFromText(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + settings::kConfTypeCount)
        return text[0] - '0';
    const std::string gbk = util::utf8ToGbk(text);
    for (int t = 0; t < settings::kConfTypeCount; ++t)
        if (gbk == ConfVal::TypeLabel(static_cast<uint8_t>(t))) return t;
    return -1;
}

} // namespace valuetext
