#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace api {

// The key of one child of a JSON value: an array position, or (index -1) a member name.
struct CJkey {
    int32_t index = -1;
    std::string name;

    CJkey() = default;
    CJkey(int32_t i) : index(i) {}
    CJkey(std::string n) : name(std::move(n)) {}
    CJkey(std::string_view n) : name(n) {}
    CJkey(const char* n) : name(n) {}

    bool isIndex() const { return index >= 0; }

    // Indexes compare as numbers; names byte by byte as unsigned, a prefix first.
    // std::string's compare does exactly that through char_traits<char>.
    friend bool operator<(const CJkey& a, const CJkey& b) {
        if (a.index >= 0) return a.index < b.index;
        return a.name < b.name;
    }
    friend bool operator==(const CJkey& a, const CJkey& b) {
        return a.index == b.index && a.name == b.name;
    }
};

} // namespace api
