#include "ui/LastPictures.h"

#include <bitset>

#include "api/CJvalue.h"

namespace ui {

namespace {

api::CJvalue number(double v) {
    api::CJvalue j;
    j.setNumber(v);
    return j;
}

api::CJvalue text(std::string_view v) {
    api::CJvalue j;
    j.setText(v);
    return j;
}

bool digits(const std::string& s) {
    if (s.empty() || s.size() > 20) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A whole number within [low, high], else false.
bool small(const api::CJvalue& v, int low, int high, int& out) {
    if (v.kind() != api::kNumber) return false;
    const int64_t n = api::truncNumber(v.number());
    if (static_cast<double>(n) != v.number() || n < low || n > high) return false;
    out = static_cast<int>(n);
    return true;
}

} // namespace

std::string LastPictures::write() const {
    api::CJvalue root;
    root.setMember("mode", number(mode));
    root.setMember("first", number(firstCell));
    api::CJvalue list;
    for (const Entry& e : entries) {
        api::CJvalue o;
        o.setMember("sim", text(e.key.sim));
        o.setMember("ch", number(e.key.channel));
        o.setMember("name", text(e.vehicleName));
        o.setMember("cell", number(e.cell));
        list.append(std::move(o));
    }
    root.setMember("pictures", std::move(list));
    return root.write();
}

bool LastPictures::read(std::string_view value) {
    api::CJvalue root;
    if (!root.parse(value) || root.kind() != api::kObject) return false;
    LastPictures got;
    int m = 0, first = 0;
    if (!small(root.get("mode"), 1, 6, m) || !small(root.get("first"), 1, 20, first)) return false;
    got.mode = static_cast<uint8_t>(m);
    got.firstCell = static_cast<uint8_t>(first);
    const api::CJvalue& list = root.get("pictures");
    if (list.kind() != api::kArray && list.kind() != api::kNull) return false;
    if (list.childCount() > 20) return false;
    std::bitset<21> used;
    for (const auto& [index, element] : list.children()) {
        int ch = 0, cell = 0;
        const std::string sim = element.get("sim").text();
        if (element.kind() != api::kObject || !digits(sim) ||
            !small(element.get("ch"), 0, 255, ch) || !small(element.get("cell"), 1, 20, cell) ||
            used[static_cast<size_t>(cell)])
            return false;
        used[static_cast<size_t>(cell)] = true;
        got.entries.push_back({{media::padSim(sim), static_cast<uint8_t>(ch)},
                               element.get("name").text(),
                               static_cast<uint8_t>(cell)});
    }
    *this = std::move(got);
    return true;
}

} // namespace ui
