#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace settings {

// Type codes of a parameter; the encoded value of each is described at ConfSet.
enum ConfType : uint8_t {
    kConfText = 0,
    kConfInt = 1,
    kConfFloat = 2,
    kConfBits = 3,
    kConfDict = 4,
    kConfDir = 5,
    kConfPath = 6,
    kConfData = 7,
};
constexpr int kConfTypeCount = 8;

// One parameter: its definition and its current value, all GBK bytes.
class ConfVal {
public:
    std::string category;
    std::string name;
    std::string value; // encoded as its type says (big-endian)
    bool internal = false;
    uint8_t type = kConfText;
    std::string description;
    std::map<uint8_t, std::string> dictionary; // bit or value names for types 3 and 4

    // The editor's order: category, then name, both byte by byte.
    friend bool operator<(const ConfVal& a, const ConfVal& b) {
        if (a.category != b.category) return a.category < b.category;
        return a.name < b.name;
    }
    friend bool operator==(const ConfVal&, const ConfVal&) = default;

    // The editor's type label ("字符串", "整数", ...) in GBK; empty for an unknown code.
    static const std::string& TypeLabel(uint8_t type);
    static bool IsText(uint8_t type) {
        return type == kConfText || type == kConfDir || type == kConfPath || type == kConfData;
    }
    static bool IsInt(uint8_t type) {
        return type == kConfInt || type == kConfBits || type == kConfDict;
    }
};

} // namespace settings
