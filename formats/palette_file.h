#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/fractal_state.h"

namespace ombrilo {

// The 28-byte record of a .ptt file: the palette type and the six levels, little-endian.
inline constexpr std::size_t kPaletteFileSize = 28;

std::array<std::uint8_t, kPaletteFileSize> EncodePalette(const Palette& palette);

// Overlays the file's bytes on base; fields beyond the end of a short file keep base's values.
Palette DecodePalette(std::span<const std::uint8_t> bytes, const Palette& base);

struct PaletteReadResult {
    bool opened = false;
    bool paletteAccepted = false;
};

// A valid palette type brings the palette into the state and rebuilds the colour table; any
// other type changes nothing.
PaletteReadResult ReadPaletteFile(const std::string& path, FractalState& state);

bool WritePaletteFile(const std::string& path, const Palette& palette);

}  // namespace ombrilo
