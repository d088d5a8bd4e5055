#pragma once

// An FLV file read back independently of the writer: the header, every tag, and the
// onMetaData entries in their order.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tavrina_test {

struct FlvTag {
    uint8_t type = 0;
    uint32_t timestamp = 0;
    std::string data;
    size_t offset = 0; // of the tag in the file
};

struct FlvMetaEntry {
    std::string key;
    double number = 0;
    bool isBool = false;
};

struct FlvFileView {
    bool ok = false; // header and every tag whole, each previous-tag size right
    uint8_t flags = 0;
    std::vector<FlvTag> tags;
    std::vector<FlvMetaEntry> meta;
    uint32_t metaCount = 0;
    size_t metaTagLength = 0; // the script tag with its previous-tag size

    double metaNumber(const std::string& key) const {
        for (const FlvMetaEntry& e : meta)
            if (e.key == key) return e.number;
        return -1;
    }
    std::vector<const FlvTag*> of(uint8_t type) const {
        std::vector<const FlvTag*> out;
        for (const FlvTag& t : tags)
            if (t.type == type) out.push_back(&t);
        return out;
    }
};

inline uint32_t beAt(const std::string& s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}

inline double beDouble(const std::string& s, size_t at) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

inline void readMeta(const std::string& d, FlvFileView& view) {
    // 02 len "onMetaData" 08 count entries... 00 00 09
    if (d.size() < 18 || d[0] != 2 || d.compare(3, 10, "onMetaData") != 0 || d[13] != 8) return;
    view.metaCount = beAt(d, 14, 4);
    size_t at = 18;
    while (at + 3 <= d.size()) {
        const uint32_t len = beAt(d, at, 2);
        if (len == 0 && d[at + 2] == 9) break;
        FlvMetaEntry e;
        e.key = d.substr(at + 2, len);
        at += 2 + len;
        if (at >= d.size()) return;
        if (d[at] == 0 && at + 9 <= d.size()) {
            e.number = beDouble(d, at + 1);
            at += 9;
        } else if (d[at] == 1 && at + 2 <= d.size()) {
            e.isBool = true;
            e.number = d[at + 1] != 0;
            at += 2;
        } else {
            return;
        }
        view.meta.push_back(e);
    }
}

inline FlvFileView readFlv(const std::string& f) {
    FlvFileView view;
    if (f.size() < 13 || f.compare(0, 3, "FLV") != 0 || f[3] != 1 || beAt(f, 5, 4) != 9 ||
        beAt(f, 9, 4) != 0)
        return view;
    view.flags = static_cast<uint8_t>(f[4]);
    size_t at = 13;
    while (at < f.size()) {
        if (at + 11 > f.size()) return view;
        FlvTag t;
        t.offset = at;
        t.type = static_cast<uint8_t>(f[at]);
        const uint32_t size = beAt(f, at + 1, 3);
        t.timestamp = beAt(f, at + 4, 3) | (beAt(f, at + 7, 1) << 24);
        if (at + 11 + size + 4 > f.size() || beAt(f, at + 11 + size, 4) != size + 11) return view;
        t.data = f.substr(at + 11, size);
        if (t.type == 18 && view.tags.empty()) {
            readMeta(t.data, view);
            view.metaTagLength = size + 15;
        }
        view.tags.push_back(std::move(t));
        at += 11 + size + 4;
    }
    view.ok = true;
    return view;
}

} // namespace tavrina_test
