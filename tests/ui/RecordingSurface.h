#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Desktop.h"
#include "ui/DrawSurface.h"
#include "util/GbkText.h"

namespace tavrina_test {

// Writes down every drawing operation as one line of text, in order.
class RecordingSurface : public ui::DrawSurface {
public:
    void FillRect(const ui::Rect& r, ui::Rgb colour) override {
        ops.push_back("fill " + rect(r) + " " + hex(colour));
    }
    void Polyline(const ui::Point* p, int count, ui::Rgb colour, int penWidth) override {
        std::string s = "line";
        for (int i = 0; i < count; ++i)
            s += " " + std::to_string(p[i].x) + "," + std::to_string(p[i].y);
        ops.push_back(s + " " + hex(colour) + " w" + std::to_string(penWidth));
    }
    void TextRect(const ui::Rect& r, std::string_view text, int size, ui::Rgb colour,
                  ui::Align align) override {
        if (text.empty()) return;
        ops.push_back("text " + rect(r) + " " + std::to_string(size) + " " + hex(colour) +
                      (align == ui::Align::Left ? " left " : " centre ") + util::gbkToUtf8(text));
    }
    void StretchPicture(const ui::Rect& to, const uint32_t* bits, int width, int height) override {
        ops.push_back("picture " + rect(to) + " from " + std::to_string(width) + "x" +
                      std::to_string(height));
        lastBits = bits;
        if (hashPictures) {
            uint64_t h = 1469598103934665603ull;
            for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i)
                h = (h ^ bits[i]) * 1099511628211ull;
            ops.back() += " sum " + std::to_string(h);
        }
    }
    void DrawIcon(int index, int x, int y) override {
        ops.push_back("icon " + std::to_string(index) + " " + std::to_string(x) + "," +
                      std::to_string(y));
    }

    // Lines beginning with `prefix`.
    std::vector<std::string> only(std::string_view prefix) const {
        std::vector<std::string> out;
        for (const std::string& s : ops)
            if (s.rfind(prefix, 0) == 0) out.push_back(s);
        return out;
    }

    static std::string rect(const ui::Rect& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "," +
               std::to_string(r.right) + "," + std::to_string(r.bottom);
    }
    static std::string hex(ui::Rgb c) {
        char s[8];
        std::snprintf(s, sizeof s, "#%06x", static_cast<unsigned>(c));
        return s;
    }

    std::vector<std::string> ops;
    const uint32_t* lastBits = nullptr;
    // Adds a digest of every stretched picture's pixels to its line.
    bool hashPictures = false;
};

class FakeIcons : public ui::IconList {
public:
    explicit FakeIcons(int n = 9) : n(n) {}
    int Count() const override { return n; }
    int n;
};

// Boxes as "caption: text" in UTF-8.
class RecordingDesktop : public ui::Desktop {
public:
    void Inform(std::string_view caption, std::string_view text) override {
        boxes.push_back(util::gbkToUtf8(caption) + ": " + util::gbkToUtf8(text));
    }
    std::vector<std::string> boxes;
};

} // namespace tavrina_test
