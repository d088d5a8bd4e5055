#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/CJkey.h"

namespace api {

// A JSON number truncated toward zero; out of range saturates, NaN gives 0. Numbers from
// outside may be anything ("1e30", "-1e300"), and a plain cast of those is undefined.
inline int64_t truncNumber(double v) {
    if (!(v == v)) return 0;
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(v);
}

enum CJkind : uint8_t { kNull = 0, kNumber = 1, kString = 2, kBool = 3, kArray = 4, kObject = 5 };

// One JSON value. Text is bytes: GBK (or anything else) passes through unchanged.
// Children of arrays and objects live in one list kept in key order, so an object's members
// are iterated and written in byte order of their names whatever order they were set in.
class CJvalue {
public:
    using Child = std::pair<CJkey, CJvalue>;

    // Deeper replies are refused: parsing recurses once per level.
    static constexpr int kMaxDepth = 512;

    CJvalue() = default;

    void clear();
    void setNumber(double v);
    void setText(std::string_view v);
    void setBool(bool v);

    CJvalue& setMember(std::string_view name, const CJvalue& v);
    CJvalue& setMember(std::string_view name, CJvalue&& v);
    CJvalue& append(const CJvalue& v);
    CJvalue& append(CJvalue&& v);

    // A name key finds only members of an object, an index key only elements of an array.
    const CJvalue* find(const CJkey& key) const;
    CJvalue* find(const CJkey& key);
    bool find(const CJkey& key, CJvalue& child) const;
    // The child, or an empty (null) value when there is none.
    const CJvalue& get(const CJkey& key) const;

    size_t childCount() const { return children_.size(); }
    const std::vector<Child>& children() const { return children_; }

    CJkind kind() const { return kind_; }
    const std::string& text() const { return text_; }
    double number() const { return number_; }
    bool flag() const { return flag_; }

    double asNumber() const;
    std::string asText() const;

    bool parse(std::string_view text);
    std::string write() const;
    void writeTo(std::string& out) const;

private:
    friend class CJparser;

    std::string text_;
    double number_ = 0;
    bool flag_ = false;
    CJkind kind_ = kNull;
    std::vector<Child> children_;
};

} // namespace api
