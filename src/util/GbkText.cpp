#include "util/GbkText.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>

#include <iconv.h>

namespace util {

namespace {

struct IconvClose {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvClose>;

IconvHandle openConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    return IconvHandle(cd);
}

// Opening a converter loads a module and builds tables, so each thread keeps its own pair.
iconv_t utf8ToGbkConverter() {
    thread_local const IconvHandle cd = openConverter("GBK", "UTF-8");
    return static_cast<iconv_t>(cd.get());
}

iconv_t gbkToUtf8Converter() {
    thread_local const IconvHandle cd = openConverter("UTF-8", "GBK");
    return static_cast<iconv_t>(cd.get());
}

std::string_view cutAtZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 character at the start of `text`, or 1 when there is none,
// so that a character GBK lacks is replaced whole and a broken byte on its own.
size_t utf8CharLength(std::string_view text) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = b(0);
    size_t length = 1;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return 1;
    }
    if (text.size() < length || b(1) < lo || b(1) > hi) return 1;
    for (size_t i = 2; i < length; ++i) {
        if (!isContinuation(b(i))) return 1;
    }
    return length;
}

size_t singleByte(std::string_view) {
    return 1;
}

// Runs iconv over the whole input; at every byte it refuses, appends `replacement` and
// resumes after the bytes `badLength` says to skip (at least one, so the loop always ends).
std::string convert(iconv_t cd, std::string_view in, std::string_view replacement,
                    size_t (*badLength)(std::string_view)) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(in.size() * 3 / 2 + 8);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buf[1024];
    while (inLeft > 0) {
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<size_t>(outPtr - buf));
        if (result != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG && outPtr != buf) continue;
        // EILSEQ (broken or unmappable) or EINVAL (cut off at the end).
        const size_t skip = std::min(badLength(std::string_view(inPtr, inLeft)), inLeft);
        out.append(replacement);
        inPtr += skip;
        inLeft -= skip;
    }
    return out;
}

} // namespace

std::string utf8ToGbk(std::string_view utf8) {
    utf8 = cutAtZero(utf8);
    if (isAscii(utf8)) return std::string(utf8);
    return convert(utf8ToGbkConverter(), utf8, "?", utf8CharLength);
}

std::string gbkToUtf8(std::string_view gbk) {
    gbk = cutAtZero(gbk);
    if (isAscii(gbk)) return std::string(gbk);
    return convert(gbkToUtf8Converter(), gbk, "\xEF\xBF\xBD", singleByte);
}

} // namespace util
