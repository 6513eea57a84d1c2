#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/fractal_state.h"
#include "formats/fractal_file.h"

namespace ombrilo {

// The fractal files of one slide show: an array read as a ring (the cursor wraps around).
struct SlideList {
    std::vector<QString> names;  // file names without their folder, sorted ignoring case
    std::size_t cursor = 0;      // the entry NextSlideName returns next

    int count() const { return static_cast<int>(names.size()); }
};

// Every entry of the folder whose name matches "*.frc" (case ignored, entries of every kind:
// hidden files and directories included), sorted by name ignoring case. The folder becomes the
// current directory and stays so; a folder that cannot be entered gives an empty list.
SlideList BuildSlideList(const QString& folder);

// The name at the cursor; the cursor moves one entry on. Only for a list with entries.
QString NextSlideName(SlideList& list);

// A source of pseudo-random integers in 0 .. 2^31 - 1.
using SlideRandom = std::function<std::uint32_t()>;

// The generator of a show in random order, seeded from the clock.
SlideRandom MakeClockSeededRandom();

// Sequential order (0): the next name. Random order (any other value): r mod count further
// steps, so that every entry comes with the same chance and repeats are possible.
QString ChooseSlideName(SlideList& list, int order, const SlideRandom& random);

// What picking a slide did: the file chosen and what its read did to the state.
struct SlidePick {
    QString path;
    FractalReadResult result;
};

// Chooses the next slide and reads it from the folder into the state (the palette too when
// loadPalette is on). The list must have entries.
SlidePick PickSlide(SlideList& list, int order, const SlideRandom& random, const QString& folder,
                    FractalState& state, bool loadPalette);

}  // namespace ombrilo
