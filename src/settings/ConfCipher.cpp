#include "settings/ConfCipher.h"

#include <cstdint>

namespace settings {

namespace {

uint32_t getLE(const std::string& s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void putLE(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

struct Key {
    uint32_t A, B, C, D;
};

bool readKey(std::string_view key, Key& k) {
    if (key.size() < 16) return false;
    const std::string head(key.substr(0, 16));
    k = {getLE(head, 0), getLE(head, 4), getLE(head, 8), getLE(head, 12)};
    return true;
}

} // namespace

bool ConfEncrypt(std::string& data, std::string_view key) {
    Key K{};
    if (!readKey(key, K)) return false;
    const size_t n = data.size();
    const uint32_t tail = static_cast<uint32_t>(n % 4);
    data.append(tail ? 8 - tail : 4, '\0');
    const size_t words = (n + 3) / 4;
    uint32_t k = K.A, c = K.C, s = 0;
    for (size_t i = 0; i < words; ++i) {
        const uint32_t w = getLE(data, i * 4);
        k = (c + (k >> 13)) * K.B + K.D;
        putLE(data, i * 4, w ^ k);
        s += (w >> 16) + (w & 0xFFFF);
        c = w;
    }
    putLE(data, words * 4, ((tail << 30) | (s & 0x3FFFFFFF)) ^ (((c + k) * K.B + K.D) >> 1));
    return true;
}

bool ConfDecrypt(std::string& data, std::string_view key) {
    Key K{};
    if (!readKey(key, K)) return false;
    const size_t m = data.size();
    if (m < 4 || m % 4 != 0) return false;
    std::string plain = data;
    const size_t words = m / 4 - 1;
    uint32_t k = K.A, c = K.C, s = 0;
    for (size_t i = 0; i < words; ++i) {
        k = (c + (k >> 13)) * K.B + K.D;
        const uint32_t w = getLE(plain, i * 4) ^ k;
        putLE(plain, i * 4, w);
        s += (w >> 16) + (w & 0xFFFF);
        c = w;
    }
    const uint32_t t = getLE(plain, words * 4) ^ (((c + k) * K.B + K.D) >> 1);
    if ((t & 0x3FFFFFFF) != (s & 0x3FFFFFFF)) return false;
    const size_t r = t >> 30;
    // A partial last word needs a content word to live in; a forged check word saying
    // otherwise must not make the length negative.
    if (r != 0 && m < 8) return false;
    plain.resize(r != 0 ? m - (8 - r) : m - 4);
    data = std::move(plain);
    return true;
}

} // namespace settings
