#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/fractal_state.h"

namespace ombrilo {

// The 60-byte record of a .frc file, little-endian, without padding.
inline constexpr std::size_t kFractalFileSize = 60;

struct FractalRecord {
    std::int32_t FractalType = kFractalTypeZ2;
    std::int32_t PaletteType = 1;
    double Cx = 0.0;
    double Cy = 0.0;
    float CenterX = 0.0f;
    float CenterY = 0.0f;
    float ViewWidth = kDefaultViewWidth;
    std::int32_t R0 = 0, G0 = 0, B0 = 0, R1 = 0, G1 = 0, B1 = 0;

    Palette palette() const { return {PaletteType, R0, G0, B0, R1, G1, B1}; }
};

FractalRecord RecordFromState(const FractalState& state);
std::array<std::uint8_t, kFractalFileSize> EncodeFractalRecord(const FractalRecord& record);

// The record as a file of the given bytes overlays it on base: fields (or parts of fields)
// beyond the end of a short file keep base's values; bytes past the record are not looked at.
FractalRecord DecodeFractalRecord(std::span<const std::uint8_t> bytes, const FractalRecord& base);

// What a fractal read did.
struct FractalReadResult {
    bool opened = false;           // false: the file could not be opened; nothing else happened
    bool fractalAccepted = false;  // the fractal type was known and C and the view were taken
    bool paletteLooked = false;    // the file's palette was considered
    bool paletteAccepted = false;  // ... and its type was valid, so it was taken
};

// Applies a record to the state: a known fractal type brings C and the view (MainStep follows
// the width; the point function is selected); with loadPalette, a valid palette type also brings
// the palette and the colour table is rebuilt. An unknown fractal type changes nothing.
FractalReadResult ApplyFractalRecord(const FractalRecord& record, FractalState& state,
                                     bool loadPalette);

FractalReadResult ReadFractalFile(const std::string& path, FractalState& state, bool loadPalette);

// Writes all 60 bytes from the state (the palette always included); false when the file could
// not be written, in which case an older file of that name is unchanged.
bool WriteFractalFile(const std::string& path, const FractalState& state);

// The last outcomes of fractal and palette reads, as the windows test them after a read.
struct ReadFlags {
    bool FractalAccepted = false;
    bool PaletteAccepted = false;

    void Take(const FractalReadResult& result);
};

}  // namespace ombrilo
