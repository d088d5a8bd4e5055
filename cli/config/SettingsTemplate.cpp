#include "SettingsTemplate.h"

#include <charconv>
#include <optional>
#include <vector>

#include "ValueText.h"
#include "util/GbkText.h"

namespace settingstemplate {

using settings::ConfVal;

namespace {

struct Block {
    size_t line = 0;
    ConfVal def;                      // GBK
    std::optional<std::string> value; // UTF-8, as written
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

bool field(Block& b, std::string_view key, std::string_view val, std::string& why) {
    if (key == "category") {
        b.def.category = util::utf8ToGbk(val);
    } else if (key == "type") {
        const int t = valuetext::typeFromText(val);
        if (t < 0) return why = "unknown type", false;
        b.def.type = static_cast<uint8_t>(t);
    } else if (key == "internal") {
        if (val != "0" && val != "1") return why = "internal is 0 or 1", false;
        b.def.internal = val == "1";
    } else if (key == "description") {
        b.def.description = util::utf8ToGbk(val);
    } else if (key == "dict") {
        const size_t eq = val.find('=');
        unsigned key8 = 0;
        const auto r = std::from_chars(val.data(), val.data() + (eq == val.npos ? 0 : eq), key8);
        if (eq == val.npos || r.ec != std::errc() || r.ptr != val.data() + eq || key8 > 255)
            return why = "dict is KEY=TEXT with a key of 0 to 255", false;
        if (!b.def.dictionary
                 .emplace(static_cast<uint8_t>(key8), util::utf8ToGbk(val.substr(eq + 1)))
                 .second)
            return why = "dict key given twice", false;
    } else if (key == "value") {
        b.value = std::string(val);
    } else {
        return why = "unknown key", false;
    }
    return true;
}

bool add(const Block& b, settings::ConfSet& store, std::string& error) {
    const std::string at = "line " + std::to_string(b.line) + ": ";
    if (b.def.name.empty()) return error = at + "empty name", false;
    if (!store.params.emplace(b.def.name, b.def).second)
        return error = at + "parameter defined twice", false;
    std::string value = b.value.value_or("");
    if (value.empty() && !ConfVal::IsText(b.def.type)) value = "0";
    std::string why;
    if (!valuetext::setFromText(store, b.def.name, value, why)) return error = at + why, false;
    return true;
}

} // namespace

bool read(std::string_view text, settings::ConfSet& store, std::string& error) {
    std::optional<Block> block;
    size_t lineNo = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const std::string_view line = trim(text.substr(0, nl));
        text.remove_prefix(nl == text.npos ? text.size() : nl + 1);
        ++lineNo;
        if (line.empty() || line.front() == '#') continue;
        const size_t colon = line.find(':');
        if (colon == line.npos) {
            error = "line " + std::to_string(lineNo) + ": expected key: value";
            return false;
        }
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view val = trim(line.substr(colon + 1));
        if (key == "name") {
            if (block && !add(*block, store, error)) return false;
            block.emplace();
            block->line = lineNo;
            block->def.name = util::utf8ToGbk(val);
            continue;
        }
        std::string why;
        if (!block) why = "a block starts with name:";
        if (!block || !field(*block, key, val, why)) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
    }
    return !block || add(*block, store, error);
}

} // namespace settingstemplate
