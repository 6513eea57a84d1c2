#include "fractal_file.h"

#include <algorithm>

#include "file_io.h"

namespace ombrilo {

FractalRecord RecordFromState(const FractalState& s) {
    const Palette& p = s.palette;
    return {s.FractalType, p.PaletteType, s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth,
            p.R0,          p.G0,          p.B0, p.R1, p.G1,      p.B1};
}

std::array<std::uint8_t, kFractalFileSize> EncodeFractalRecord(const FractalRecord& r) {
    std::array<std::uint8_t, kFractalFileSize> out{};
    PutInt32(&out[0], r.FractalType);
    PutInt32(&out[4], r.PaletteType);
    PutDouble(&out[8], r.Cx);
    PutDouble(&out[16], r.Cy);
    PutFloat(&out[24], r.CenterX);
    PutFloat(&out[28], r.CenterY);
    PutFloat(&out[32], r.ViewWidth);
    const std::int32_t levels[] = {r.R0, r.G0, r.B0, r.R1, r.G1, r.B1};
    for (int i = 0; i < 6; ++i) {
        PutInt32(&out[36 + 4 * i], levels[i]);
    }
    return out;
}

FractalRecord DecodeFractalRecord(std::span<const std::uint8_t> bytes, const FractalRecord& base) {
    auto raw = EncodeFractalRecord(base);
    std::copy_n(bytes.begin(), std::min(bytes.size(), raw.size()), raw.begin());
    FractalRecord r;
    r.FractalType = GetInt32(&raw[0]);
    r.PaletteType = GetInt32(&raw[4]);
    r.Cx = GetDouble(&raw[8]);
    r.Cy = GetDouble(&raw[16]);
    r.CenterX = GetFloat(&raw[24]);
    r.CenterY = GetFloat(&raw[28]);
    r.ViewWidth = GetFloat(&raw[32]);
    std::int32_t* levels[] = {&r.R0, &r.G0, &r.B0, &r.R1, &r.G1, &r.B1};
    for (int i = 0; i < 6; ++i) {
        *levels[i] = GetInt32(&raw[36 + 4 * i]);
    }
    return r;
}

FractalReadResult ApplyFractalRecord(const FractalRecord& r, FractalState& state,
                                     bool loadPalette) {
    FractalReadResult result;
    result.opened = true;
    if (r.FractalType != kFractalTypeZ2) {
        return result;
    }
    result.fractalAccepted = true;
    state.FractalType = r.FractalType;
    SelectPointFunction(state);
    state.Cx = r.Cx;
    state.Cy = r.Cy;
    state.CenterX = r.CenterX;
    state.CenterY = r.CenterY;
    SetViewWidth(state, r.ViewWidth);
    if (!loadPalette) {
        return result;
    }
    result.paletteLooked = true;
    if (IsValidPaletteType(r.PaletteType)) {
        result.paletteAccepted = true;
        state.palette = r.palette();
        BuildColorTable(state.palette, state.colorTable);
    }
    return result;
}

FractalReadResult ReadFractalFile(const std::string& path, FractalState& state, bool loadPalette) {
    const auto bytes = ReadFilePrefix(path, kFractalFileSize);
    if (!bytes) {
        return {};
    }
    return ApplyFractalRecord(DecodeFractalRecord(*bytes, RecordFromState(state)), state,
                              loadPalette);
}

bool WriteFractalFile(const std::string& path, const FractalState& state) {
    return WriteFileAtomically(path, EncodeFractalRecord(RecordFromState(state)));
}

void ReadFlags::Take(const FractalReadResult& result) {
    if (!result.opened) {
        return;
    }
    FractalAccepted = result.fractalAccepted;
    if (result.paletteLooked) {
        PaletteAccepted = result.paletteAccepted;
    }
}

}  // namespace ombrilo
