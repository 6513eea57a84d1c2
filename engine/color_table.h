#pragma once

#include <array>
#include <cstdint>

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

}  // namespace ombrilo
