#pragma once

#include <cstdint>

#include "color_table.h"

namespace ombrilo {

// The seven numbers a colour table is built from: the type picks linear or sine per channel,
// the start levels and periods shape each channel.
struct Palette {
    std::int32_t PaletteType = 1;
    std::int32_t R0 = 36;
    std::int32_t G0 = 16;
    std::int32_t B0 = 12;
    std::int32_t R1 = 26;
    std::int32_t G1 = 18;
    std::int32_t B1 = 8;

    bool operator==(const Palette&) const = default;
};

inline constexpr std::int32_t kPaletteTypeCount = 8;

// Item texts of the palette type list, in item order (type = index + 1).
inline constexpr const char* kPaletteTypeNames[kPaletteTypeCount] = {"LLL", "SSS", "LSS", "SLL",
                                                                     "SLS", "LSL", "SSL", "LLS"};

// Phase step of a sine channel: pi/256 as the single-precision constant.
inline constexpr float kSineStep = 0.012271847f;

bool IsValidPaletteType(std::int32_t type);

enum class Channel { Red, Green, Blue };

// Whether a channel is a sine wave under a palette type; any type outside 1..8 is built as LLL.
bool ChannelIsSine(std::int32_t paletteType, Channel channel);

// Fills all 8191 entries of the table from the palette. Levels are taken as they are, whatever
// their range.
void BuildColorTable(const Palette& palette, ColorTable& table);

}  // namespace ombrilo
