// Writes the fractals and palettes a new user starts with into data/fractals and data/paletts.
// Run from the repository root: build/tools/make_gallery data
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/fractal_state.h"
#include "formats/fractal_file.h"
#include "formats/palette_file.h"

namespace {

using ombrilo::Palette;

struct GalleryFractal {
    const char* name;
    double cx;
    double cy;
    float centerX;
    float centerY;
    float width;
    Palette palette;
};

struct GalleryPalette {
    const char* name;
    Palette palette;
};

// Type, start levels of red, green, blue, then their periods.
constexpr Palette kEmber{1, 36, 16, 12, 26, 18, 8};
constexpr Palette kSea{2, 10, 40, 90, 12, 18, 30};
constexpr Palette kMoss{3, 20, 80, 10, 6, 14, 22};
constexpr Palette kDusk{4, 80, 20, 60, 30, 10, 18};
constexpr Palette kCandy{5, 90, 30, 70, 8, 26, 14};
constexpr Palette kIce{6, 5, 60, 95, 4, 20, 36};
constexpr Palette kGold{7, 95, 70, 10, 14, 24, 40};
constexpr Palette kNight{8, 12, 8, 50, 20, 6, 10};

constexpr GalleryFractal kFractals[] = {
    {"rabbit", -0.123, 0.745, 0.0f, 0.0f, 3.2f, kSea},
    {"dendrite", 0.0, 1.0, 0.0f, 0.0f, 3.6f, kGold},
    {"basilica", -1.0, 0.0, 0.0f, 0.0f, 3.4f, kDusk},
    {"siegel", -0.391, -0.587, 0.0f, 0.0f, 3.0f, kIce},
    {"spiral", -0.7269, 0.1889, 0.0f, 0.0f, 3.2f, kCandy},
    {"airplane", -1.755, 0.0, 0.0f, 0.0f, 2.6f, kNight},
    {"twist", 0.3, 0.5, 0.0f, 0.0f, 3.0f, kEmber},
    {"flower", 0.36, 0.1, 0.0f, 0.0f, 2.6f, kGold},
    {"dust", -0.8, 0.4, 0.0f, 0.0f, 3.0f, kMoss},
    {"seahorse", -0.75, 0.11, 0.0f, 0.0f, 3.2f, kSea},
    {"seahorse_tail", -0.75, 0.11, -0.24f, 0.19f, 0.45f, kGold},
    {"galaxy", 0.285, 0.01, 0.0f, 0.0f, 3.0f, kNight},
    {"lightning", -0.8, 0.156, 0.0f, 0.0f, 3.4f, kIce},
    {"coral", -0.4, 0.6, 0.0f, 0.0f, 3.0f, kMoss},
    {"edge", 0.402, 0.339, 0.35f, 0.2f, 0.6f, kDusk},
};

constexpr GalleryPalette kPalettes[] = {
    {"ember", kEmber}, {"sea", kSea}, {"moss", kMoss}, {"dusk", kDusk},
    {"candy", kCandy}, {"ice", kIce}, {"gold", kGold}, {"night", kNight},
};

bool WriteFractal(const std::filesystem::path& folder, const GalleryFractal& f) {
    ombrilo::FractalState state;
    state.Cx = f.cx;
    state.Cy = f.cy;
    state.CenterX = f.centerX;
    state.CenterY = f.centerY;
    ombrilo::SetViewWidth(state, f.width);
    state.palette = f.palette;
    return ombrilo::WriteFractalFile((folder / (std::string(f.name) + ".frc")).string(), state);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_gallery DATA_FOLDER\n");
        return 2;
    }
    const std::filesystem::path data(argv[1]);
    const auto fractals = data / "fractals";
    const auto palettes = data / "paletts";
    std::error_code error;
    std::filesystem::create_directories(fractals, error);
    std::filesystem::create_directories(palettes, error);
    int failures = 0;
    for (const GalleryFractal& f : kFractals) {
        failures += WriteFractal(fractals, f) ? 0 : 1;
    }
    for (const GalleryPalette& p : kPalettes) {
        const auto path = palettes / (std::string(p.name) + ".ptt");
        failures += ombrilo::WritePaletteFile(path.string(), p.palette) ? 0 : 1;
    }
    if (failures != 0) {
        std::fprintf(stderr, "make_gallery: %d files could not be written\n", failures);
        return 1;
    }
    return 0;
}
