#pragma once

// Escape indices of a whole block of the map's pixels at once: one disk that holds the iterate
// z_n of every pixel of the block is stepped instead of the pixels (map_proof.cpp argues why).

#include "point_function.h"
#include "run_proof.h"

namespace ombrilo {

// The map's index (MapEscapeIndex) that every pixel point (x, y) of the rectangle `c` has,
// -1 when the disks cannot show one. An index n > 0 is shown when the disk lies wholly outside
// |z| = 2 at step n and wholly inside it before; index 0 when it stays inside up to the limit,
// or earlier when a disk around it is mapped into itself; the disk is given up after `steps`
// steps (below the limit). The rectangle's parts must be finite, at most 2^40 in magnitude, low
// ends at most the high ends. The steps the disk took are left in *stepsTaken when it is given.
int ProvenMapIndex(const Box& c, int steps = MaxIterations, int* stepsTaken = nullptr);

}  // namespace ombrilo
