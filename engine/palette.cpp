#include "palette.h"

#include <cmath>

#include "numeric.h"

namespace ombrilo {

namespace {

// Per type, whether red, green and blue are sine channels.
constexpr bool kSineChannels[kPaletteTypeCount][3] = {
    {false, false, false},  // LLL
    {true, true, true},     // SSS
    {false, true, true},    // LSS
    {true, false, false},   // SLL
    {true, false, true},    // SLS
    {false, true, false},   // LSL
    {true, true, false},    // SSL
    {false, false, true},   // LLS
};

struct ChannelRule {
    bool sine;
    std::int32_t level;
    std::int32_t period;
    float phase;
};

ChannelRule MakeRule(std::int32_t paletteType, Channel channel, std::int32_t level,
                     std::int32_t period) {
    ChannelRule rule{ChannelIsSine(paletteType, channel), level, period, 0.0f};
    if (rule.sine) {
        // The phase lets the wave pass through the start level at index 0. A level outside
        // 0..254 gives NaN here, and NaN values end up as 0 below.
        rule.phase = static_cast<float>(std::asin((static_cast<double>(level) - 127.0) / 127.0));
    }
    return rule;
}

std::uint8_t ChannelValue(const ChannelRule& rule, int index) {
    if (!rule.sine) {
        // Integer ramp that wraps; unsigned arithmetic so that huge levels cannot overflow.
        const std::uint32_t value =
            static_cast<std::uint32_t>(rule.period) * static_cast<std::uint32_t>(index) +
            static_cast<std::uint32_t>(rule.level);
        return static_cast<std::uint8_t>(value & 0xFFu);
    }
    const long double angle =
        static_cast<long double>(rule.period) * kSineStep * index + rule.phase;
    const double wave = std::sin(static_cast<double>(angle));
    const long double value = static_cast<long double>(wave) * 127.0L + 127.0L;
    return static_cast<std::uint8_t>(TruncToInt32(value) & 0xFF);
}

}  // namespace

bool IsValidPaletteType(std::int32_t type) {
    return type >= 1 && type <= kPaletteTypeCount;
}

bool ChannelIsSine(std::int32_t paletteType, Channel channel) {
    if (!IsValidPaletteType(paletteType)) {
        return false;
    }
    return kSineChannels[paletteType - 1][static_cast<int>(channel)];
}

void BuildColorTable(const Palette& p, ColorTable& table) {
    const ChannelRule red = MakeRule(p.PaletteType, Channel::Red, p.R0, p.R1);
    const ChannelRule green = MakeRule(p.PaletteType, Channel::Green, p.G0, p.G1);
    const ChannelRule blue = MakeRule(p.PaletteType, Channel::Blue, p.B0, p.B1);

    std::uint8_t* set = table.Entry(0);
    set[0] = static_cast<std::uint8_t>(p.B0 & 0xFF);
    set[1] = static_cast<std::uint8_t>(p.G0 & 0xFF);
    set[2] = static_cast<std::uint8_t>(p.R0 & 0xFF);

    for (int i = 1; i <= ColorTable::kLastIndex; ++i) {
        std::uint8_t* entry = table.Entry(i);
        entry[0] = ChannelValue(blue, i);
        entry[1] = ChannelValue(green, i);
        entry[2] = ChannelValue(red, i);
    }
}

}  // namespace ombrilo
