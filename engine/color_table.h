#pragma once

#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace ombrilo {

// Colours indexed by escape count; entry 0 is the colour of the set. Each entry is three bytes
// in the order blue, green, red, which is the byte order of a 32-bit pixel, so renderers copy
// an entry's bytes unchanged.
struct ColorTable {
    static constexpr int kEntries = 8191;
    static constexpr int kLastIndex = kEntries - 1;

    std::array<std::uint8_t, kEntries * 3> bytes{};

    const std::uint8_t* Entry(int index) const {
        return &bytes[static_cast<std::size_t>(index) * 3];
    }
    std::uint8_t* Entry(int index) { return &bytes[static_cast<std::size_t>(index) * 3]; }

    bool operator==(const ColorTable&) const = default;
};

// Colour table entries 0..255 as bytes 0..2 of little-endian 32-bit pixels (byte 3 zero), for
// pictures whose indices fit a byte: one load per pixel instead of three byte copies.
using PackedColors = std::array<std::uint32_t, 256>;

inline PackedColors PackColors(const ColorTable& table) {
    static_assert(std::endian::native == std::endian::little);
    PackedColors colors{};
    for (std::size_t i = 0; i < colors.size(); ++i) {
        const std::uint8_t* entry = table.Entry(static_cast<int>(i));
        colors[i] = entry[0] | std::uint32_t{entry[1]} << 8 | std::uint32_t{entry[2]} << 16;
    }
    return colors;
}

// The colours of `count` indices into bytes 0..2 of the 32-bit pixels at `pixels`; byte 3 of
// each pixel keeps its value.
inline void WritePackedRow(const PackedColors& colors, const std::uint8_t* indices, int count,
                           std::uint8_t* pixels) {
    for (int i = 0; i < count; ++i, pixels += 4) {
        std::uint32_t value;
        std::memcpy(&value, pixels, 4);
        value = (value & 0xFF000000u) | colors[indices[i]];
        std::memcpy(pixels, &value, 4);
    }
}

// Whether the sixteen indices at p are all equal (SSE2, which every x86-64 processor has).
inline bool SixteenEqual(const std::uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(p[0])))) == 0xFFFF;
}

inline bool SixteenEqual(const std::int32_t* p) {
    const __m128i first = _mm_set1_epi32(p[0]);
    __m128i same = _mm_set1_epi32(-1);
    for (int k = 0; k < 16; k += 4) {
        same = _mm_and_si128(
            same, _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)), first));
    }
    return _mm_movemask_epi8(same) == 0xFFFF;
}

// The colours of `count` pixels as blue-green-red triples, exactly count * 3 bytes at out.
// colors[i] holds entry i's three bytes in its low bytes (a pixel is one four-byte copy whose
// last byte the next pixel overwrites). Sixteen equal indices in a row, as where a whole run of
// points has one index, are written as one 48-byte pattern.
template <typename Index>
void WriteColorRun(const std::uint32_t* colors, const Index* indices, int count,
                   std::uint8_t* out) {
    constexpr int kRun = 16;
    if (count <= 0) {
        return;
    }
    std::uint8_t pattern[kRun * 3];
    Index patternIndex = indices[0];
    bool patternMade = false;
    int i = 0;
    // Whole groups of sixteen with at least one pixel after them, which a four-byte copy may
    // touch.
    for (; i + kRun < count; i += kRun, out += kRun * 3) {
        const Index first = indices[i];
        if (SixteenEqual(indices + i)) {
            if (!patternMade || first != patternIndex) {
                for (int k = 0; k < kRun; ++k) {
                    std::memcpy(pattern + 3 * k, &colors[first], 3);
                }
                patternIndex = first;
                patternMade = true;
            }
            std::memcpy(out, pattern, sizeof pattern);
            continue;
        }
        for (int k = 0; k < kRun; ++k) {
            std::memcpy(out + 3 * k, &colors[indices[i + k]], 4);
        }
    }
    for (; i < count - 1; ++i, out += 3) {
        std::memcpy(out, &colors[indices[i]], 4);
    }
    if (i < count) {
        std::memcpy(out, &colors[indices[i]], 3);
    }
}

}  // namespace ombrilo
