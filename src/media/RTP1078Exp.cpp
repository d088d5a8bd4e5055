#include "media/RTP1078Exp.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/BEPack.h"
#include "util/BEUnpack.h"

namespace media {

namespace {

constexpr char kFrameHeader[4] = {0x30, 0x31, 0x63, 0x64}; // "01cd"
constexpr unsigned char kFixedByte = 0x81;
// Feed looks for packets only once this many bytes are buffered.
constexpr size_t kMinScan = 18;
constexpr size_t kMinHeader = 20;

// Each SIM byte as its two characters, 0x30 + nibble.
constexpr std::array<std::array<char, 2>, 256> makeNibbleChars() {
    std::array<std::array<char, 2>, 256> t{};
    for (unsigned b = 0; b < 256; ++b)
        t[b] = {static_cast<char>(0x30 + (b >> 4)), static_cast<char>(0x30 + (b & 0x0F))};
    return t;
}
constexpr auto kNibbleChars = makeNibbleChars();

void decodeSim(const char* p, std::string& sim) {
    sim.resize(kSimDigits);
    for (size_t i = 0; i < kSimDigits / 2; ++i) {
        const auto& pair = kNibbleChars[static_cast<unsigned char>(p[i])];
        sim[2 * i] = pair[0];
        sim[2 * i + 1] = pair[1];
    }
}

bool hasTimestamp(uint8_t dataType) {
    return dataType != kTransparent;
}
bool hasIntervals(uint8_t dataType) {
    return dataType != kAudio && dataType != kTransparent;
}

} // namespace

void RTP1078Exp::Feed(std::string_view bytes) {
    const uint64_t gen = generation;
    if (buf.empty()) {
        // Nothing pending: parse the caller's bytes where they are and keep only the tail.
        const size_t keep = extract(bytes.data(), bytes.size());
        if (gen == generation) buf.assign(bytes.substr(keep));
        return;
    }
    buf.append(bytes);
    // Work on a moved-out copy so that a consumer calling Reset cannot pull the bytes away.
    std::string work = std::move(buf);
    buf.clear();
    const size_t keep = extract(work.data(), work.size());
    if (gen != generation) return;
    work.erase(0, keep);
    buf = std::move(work);
}

void RTP1078Exp::Reset() {
    buf.clear();
    assembly.clear();
    ++generation;
}

size_t RTP1078Exp::extract(const char* p, size_t n) {
    if (n < kMinScan) return 0;
    const uint64_t gen = generation;
    size_t base = 0; // bytes before base are consumed
    size_t scan = 0;
    for (;;) {
        // Start positions up to n - 4 (exclusive) are examined; the last four bytes wait.
        const size_t limit = n >= 4 ? n - 4 : 0;
        const char* found = nullptr;
        if (scan < limit)
            found = static_cast<const char*>(memmem(p + scan, limit - scan + 3, kFrameHeader, 4));
        if (found == nullptr) return std::max(std::max(scan, limit), base);
        const size_t h = static_cast<size_t>(found - p);
        size_t bodyOffset = 0;
        switch (parseOne(p + h, n - h, bodyOffset)) {
        case Parse::Rejected:
            scan = h + 4;
            break;
        case Parse::Incomplete:
            return h;
        case Parse::Accepted:
            accept(p + h, bodyOffset);
            if (gen != generation) return n;
            base = scan = h + bodyOffset + parsed.length;
            break;
        }
    }
}

RTP1078Exp::Parse RTP1078Exp::parseOne(const char* p, size_t n, size_t& bodyOffset) {
    if (n < kMinHeader) return Parse::Incomplete;
    if (static_cast<unsigned char>(p[4]) != kFixedByte) return Parse::Rejected;

    util::BEUnpack in(std::string_view(p, n));
    uint8_t mpt = 0, channel = 0, typeByte = 0;
    uint16_t seq = 0;
    in.skip(5);
    in.u8(mpt);
    in.u16(seq);
    in.skip(kSimDigits / 2);
    in.u8(channel);
    in.u8(typeByte);

    RTPmeta& m = parsed;
    m.dataType = typeByte >> 4;
    m.timestamp = 0;
    m.lastIInterval = m.lastFrameInterval = 0;
    if (hasTimestamp(m.dataType) && !(in.skip(4) && in.u32(m.timestamp))) return Parse::Incomplete;
    if (hasIntervals(m.dataType) && !(in.u16(m.lastIInterval) && in.u16(m.lastFrameInterval)))
        return Parse::Incomplete;
    uint16_t length = 0;
    if (!in.u16(length)) return Parse::Incomplete;
    if (length > kMaxBody) return Parse::Rejected;
    if (in.remaining() < length) return Parse::Incomplete;

    m.M = mpt >> 7;
    m.PT = mpt & 0x7F;
    m.seq = seq;
    decodeSim(p + 8, m.simch.sim);
    m.simch.channel = channel;
    m.subPacket = typeByte & 0x0F;
    m.length = length;
    bodyOffset = in.pos();
    return Parse::Accepted;
}

void RTP1078Exp::accept(const char* p, size_t bodyOffset) {
    const uint64_t gen = generation;
    if (OnFrame) {
        assemble(parsed, std::string_view(p + bodyOffset, parsed.length));
        if (gen != generation) return;
    }
    if (OnPacket) {
        packet.meta = parsed;
        packet.data.assign(p, bodyOffset + parsed.length);
        OnPacket(packet);
    }
}

RTP1078Exp::Assembly& RTP1078Exp::entryFor(const SIMCH& key) {
    auto it = assembly.find(key);
    if (it == assembly.end()) {
        if (assembly.size() >= kMaxAssemblies) {
            auto oldest = std::min_element(assembly.begin(), assembly.end(),
                                           [](const auto& a, const auto& b) {
                                               return a.second.lastTouch < b.second.lastTouch;
                                           });
            finishEntry(oldest);
        }
        it = assembly.emplace(key, Assembly{}).first;
        it->second.frame.data = std::move(spare);
        it->second.frame.data.clear();
    }
    it->second.lastTouch = ++touches;
    return it->second;
}

void RTP1078Exp::finishEntry(std::map<SIMCH, Assembly>::iterator it) {
    if (it->second.frame.data.capacity() > spare.capacity() &&
        it->second.frame.data.capacity() <= kMaxPacket * 256)
        spare = std::move(it->second.frame.data);
    assembly.erase(it);
}

void RTP1078Exp::assemble(const RTPmeta& h, std::string_view body) {
    if (h.subPacket == kAtomic) {
        OnFrame(h, body);
        if (auto it = assembly.find(h.simch); it != assembly.end()) finishEntry(it);
        return;
    }
    Assembly& entry = entryFor(h.simch);
    RTP_data& frame = entry.frame;
    const auto matches = [&] {
        return frame.meta.PT == h.PT && frame.meta.dataType == h.dataType &&
               frame.meta.timestamp == h.timestamp;
    };
    switch (h.subPacket) {
    case kFirst:
        frame.meta = h;
        frame.data.assign(body);
        break;
    case kMiddle:
        if (matches()) frame.data.append(body);
        break;
    case kLast:
        if (matches()) {
            frame.meta.subPacket = kAtomic;
            frame.data.append(body);
            frame.meta.length = static_cast<uint32_t>(frame.data.size());
            // Hand over a view, then drop the entry: OnFrame must not see the map change.
            OnFrame(frame.meta, frame.data);
            if (auto it = assembly.find(h.simch); it != assembly.end()) finishEntry(it);
            return;
        }
        break;
    default:
        break;
    }
    if (frame.data.size() > kMaxFrameBytes) {
        if (auto it = assembly.find(h.simch); it != assembly.end()) finishEntry(it);
    }
}

std::string RTP1078Exp::BuildPackets(const RTPmeta& header, std::string_view data, uint16_t& seq) {
    // A short SIM is read as the number it spells, so it is padded on the left. Intervals are
    // written for every type that the extractor reads them for (types 5 to 15 included).
    const std::string sim =
        header.simch.sim.empty() ? std::string(kSimDigits, '0') : padSim(header.simch.sim);
    std::string out;
    util::BEPack pack(out);
    const size_t total = data.size();
    size_t offset = 0;
    do {
        const size_t chunk = std::min(kMaxBody, total - offset);
        uint8_t sub = kAtomic;
        uint8_t marker = 1;
        if (total > kMaxBody) {
            const bool last = offset + chunk == total;
            sub = offset == 0 ? kFirst : (last ? kLast : kMiddle);
            marker = last ? 1 : 0;
        }
        pack.raw(std::string_view(kFrameHeader, 4))
            .u8(kFixedByte)
            .u8(static_cast<uint8_t>((marker << 7) | (header.PT & 0x7F)))
            .u16(seq++)
            .bcd(std::string_view(sim).substr(0, kSimDigits), kSimDigits / 2)
            .u8(header.simch.channel)
            .u8(static_cast<uint8_t>((header.dataType << 4) | sub));
        if (hasTimestamp(header.dataType)) pack.u32(0).u32(header.timestamp);
        if (hasIntervals(header.dataType))
            pack.u16(header.lastIInterval).u16(header.lastFrameInterval);
        pack.u16(static_cast<uint16_t>(chunk)).raw(data.substr(offset, chunk));
        offset += chunk;
    } while (offset < total);
    return out;
}

std::string RTP1078Exp::BuildControlPacket(const SIMCH& key, std::string_view data, uint16_t& seq) {
    RTPmeta header;
    header.PT = kPtControl;
    header.dataType = kTransparent;
    header.simch = key;
    return BuildPackets(header, data, seq);
}

} // namespace media
