#include "palette_file.h"

#include <algorithm>

#include "file_io.h"

namespace ombrilo {

namespace {

std::array<std::int32_t*, 7> Fields(Palette& p) {
    return {&p.PaletteType, &p.R0, &p.G0, &p.B0, &p.R1, &p.G1, &p.B1};
}

}  // namespace

std::array<std::uint8_t, kPaletteFileSize> EncodePalette(const Palette& palette) {
    Palette copy = palette;
    std::array<std::uint8_t, kPaletteFileSize> out{};
    const auto fields = Fields(copy);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        PutInt32(&out[4 * i], *fields[i]);
    }
    return out;
}

Palette DecodePalette(std::span<const std::uint8_t> bytes, const Palette& base) {
    auto raw = EncodePalette(base);
    std::copy_n(bytes.begin(), std::min(bytes.size(), raw.size()), raw.begin());
    Palette palette;
    const auto fields = Fields(palette);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        *fields[i] = GetInt32(&raw[4 * i]);
    }
    return palette;
}

PaletteReadResult ReadPaletteFile(const std::string& path, FractalState& state) {
    const auto bytes = ReadFilePrefix(path, kPaletteFileSize);
    if (!bytes) {
        return {};
    }
    PaletteReadResult result{true, false};
    const Palette palette = DecodePalette(*bytes, state.palette);
    if (IsValidPaletteType(palette.PaletteType)) {
        result.paletteAccepted = true;
        state.palette = palette;
        BuildColorTable(state.palette, state.colorTable);
    }
    return result;
}

bool WritePaletteFile(const std::string& path, const Palette& palette) {
    return WriteFileAtomically(path, EncodePalette(palette));
}

}  // namespace ombrilo
