#include "media/Decodesps.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace media {

namespace {

bool startCodeAt(const uint8_t* p, int i) {
    return p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 0 && p[i + 3] == 1;
}

int saturate(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// Removes every 03 that follows two zero bytes; returns the new length.
int removeEmulationPrevention(uint8_t* p, int length) {
    int out = 0, zeros = 0;
    for (int i = 0; i < length; ++i) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = p[i] == 0 ? zeros + 1 : 0;
        p[out++] = p[i];
    }
    return out;
}

} // namespace

uint32_t BitReader::ReadBits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 1) | bit();
    return v;
}

uint32_t BitReader::ReadUe() {
    int zeros = 0;
    while (!atEnd() && bit() == 0)
        ++zeros;
    if (zeros > 32) {
        pos += static_cast<size_t>(zeros);
        return UINT32_MAX;
    }
    const uint64_t v = (uint64_t{1} << zeros) + ReadBits(zeros) - 1;
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

int32_t BitReader::ReadSe() {
    const uint32_t k = ReadUe();
    if (k & 1) return static_cast<int32_t>((k >> 1) + 1);
    return -static_cast<int32_t>(k >> 1);
}

bool NextNalUnit(const uint8_t* data, int length, int& pos, bool lastToEnd, NalUnit& unit) {
    if (data == nullptr || length < 5) {
        if (lastToEnd) pos = std::max(length, 0);
        return false;
    }
    int i = std::max(pos, 0);
    while (i < length - 4 && !startCodeAt(data, i))
        ++i;
    if (i >= length - 4) {
        pos = i;
        return false;
    }
    const int begin = i + 4;
    int j = begin;
    while (j < length - 3 && !startCodeAt(data, j))
        ++j;
    unit.type = data[begin] & 0x1F;
    unit.offset = begin;
    unit.data = data + begin;
    if (j < length - 3) {
        unit.size = j - begin;
        pos = j;
        return true;
    }
    if (!lastToEnd) {
        pos = i;
        return false;
    }
    unit.size = length - begin;
    pos = length;
    return true;
}

bool ParseSps(uint8_t* sps, int length, SpsInfo& info) {
    info = SpsInfo{};
    if (sps == nullptr || length <= 0) return false;
    length = removeEmulationPrevention(sps, length);
    BitReader r(sps, static_cast<size_t>(length));
    r.ReadBits(1); // forbidden_zero_bit
    r.ReadBits(2); // nal_ref_idc
    if (r.ReadBits(5) != 7) return false;

    const uint32_t profile = r.ReadBits(8);
    r.ReadBits(4); // constraint flags
    r.ReadBits(4); // reserved
    r.ReadBits(8); // level_idc
    r.ReadUe();    // seq_parameter_set_id
    if (profile == 100 || profile == 110 || profile == 122 || profile == 144) {
        if (r.ReadUe() == 3) r.ReadBits(1); // separate_colour_plane_flag
        r.ReadUe();                         // bit_depth_luma_minus8
        r.ReadUe();                         // bit_depth_chroma_minus8
        r.ReadBits(1);                      // qpprime_y_zero_transform_bypass_flag
        if (r.ReadBits(1)) r.ReadBits(8);   // seq_scaling_list_present_flag x 8
    }
    r.ReadUe(); // log2_max_frame_num_minus4
    const uint32_t pocType = r.ReadUe();
    if (pocType == 0) {
        r.ReadUe();
    } else if (pocType == 1) {
        r.ReadBits(1);
        r.ReadSe();
        r.ReadSe();
        const uint32_t cycle = r.ReadUe();
        // The count comes from the stream; past the end every read is zero anyway.
        for (uint32_t n = 0; n < cycle && !r.atEnd(); ++n)
            r.ReadSe();
    }
    r.ReadUe();    // max_num_ref_frames
    r.ReadBits(1); // gaps_in_frame_num_value_allowed_flag
    int64_t width = (int64_t{r.ReadUe()} + 1) * 16;
    int64_t height = (int64_t{r.ReadUe()} + 1) * 16;
    if (r.ReadBits(1) == 0) r.ReadBits(1); // frame_mbs_only_flag, mb_adaptive_frame_field_flag
    r.ReadBits(1);                         // direct_8x8_inference_flag
    if (r.ReadBits(1)) {
        const int64_t left = r.ReadUe(), right = r.ReadUe();
        const int64_t top = r.ReadUe(), bottom = r.ReadUe();
        width -= 2 * (left + right);
        height -= 2 * (top + bottom);
    }
    info.width = saturate(width);
    info.height = saturate(height);
    if (r.ReadBits(1) == 0) return true; // no VUI

    if (r.ReadBits(1) && r.ReadBits(8) == 255) r.ReadBits(32); // aspect ratio, SAR
    if (r.ReadBits(1)) r.ReadBits(1);                          // overscan
    if (r.ReadBits(1)) {                                       // video signal type
        r.ReadBits(4);
        if (r.ReadBits(1)) r.ReadBits(24);
    }
    if (r.ReadBits(1)) {
        r.ReadUe();
        r.ReadUe();
    }
    if (r.ReadBits(1) == 0) return true; // no timing
    const uint32_t unitsInTick = r.ReadBits(32);
    const uint32_t timeScale = r.ReadBits(32);
    r.ReadBits(1); // fixed_frame_rate_flag: says only whether the rate is constant
    // A frame lasts two ticks (one per field) whether or not the rate is fixed.
    if (static_cast<int32_t>(unitsInTick) > 0)
        info.frameRate = saturate(
            static_cast<int64_t>(std::ceil(static_cast<double>(timeScale) / (2.0 * unitsInTick))));
    return true;
}

} // namespace media
