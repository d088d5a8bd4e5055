#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Both conversions read zero-terminated text: a 0 byte ends the input. Nothing is ever
// refused: a character GBK cannot hold, or a broken UTF-8 byte, becomes '?'; a broken GBK
// byte becomes U+FFFD. Pure ASCII passes through untouched.
std::string utf8ToGbk(std::string_view utf8);
std::string gbkToUtf8(std::string_view gbk);

// The characters of a string literal as a template argument.
template <std::size_t N> struct FixedString {
    char chars[N] = {};

    constexpr FixedString(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            chars[i] = text[i];
    }
    constexpr std::string_view view() const { return {chars, N - 1}; }
};

inline namespace literals {

// "登录成功"_gbk: the system's own text written in UTF-8 source, converted to GBK on first
// use and kept for the life of the process.
template <FixedString text> const std::string& operator""_gbk() {
    static const std::string converted = utf8ToGbk(text.view());
    return converted;
}

} // namespace literals

} // namespace util
