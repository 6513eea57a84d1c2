#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/color_table.h"
#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "engine/render.h"

namespace testpictures {

// A 32-bit picture in memory, every byte 0xEE before a renderer writes it.
struct Picture {
    Picture(int width, int height)
        : bytes(static_cast<std::size_t>(width) * height * 4, 0xEE),
          frame{bytes.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4} {}
    std::vector<std::uint8_t> bytes;
    ombrilo::Frame32 frame;
};

// A table whose entries name their own index, so equal pictures mean equal indices.
inline ombrilo::ColorTable IndexTable() {
    ombrilo::ColorTable table;
    for (int i = 0; i <= ombrilo::ColorTable::kLastIndex; ++i) {
        std::uint8_t* e = table.Entry(i);
        e[0] = static_cast<std::uint8_t>(i & 0xFF);
        e[1] = static_cast<std::uint8_t>(i >> 8);
        e[2] = static_cast<std::uint8_t>(i * 7);
    }
    return table;
}

// The start state with IndexTable, the constant C and the view given.
inline ombrilo::FractalState StateAt(double cx, double cy, float centerX, float centerY,
                                     float width) {
    ombrilo::FractalState s = ombrilo::MakeStartState();
    s.colorTable = IndexTable();
    s.Cx = cx;
    s.Cy = cy;
    s.CenterX = centerX;
    s.CenterY = centerY;
    s.ViewWidth = width;
    s.MainStep = ombrilo::MainStepFor(width);
    return s;
}

// The rows of an export through IndexTable, one after the other, as the renderer hands them.
template <typename Render>
std::vector<std::uint8_t> ExportBytes(Render render, const ombrilo::ExportView& view,
                                      const ombrilo::ExportGeometry& g) {
    static const ombrilo::ColorTable table = IndexTable();
    std::vector<std::uint8_t> bytes;
    render(
        view, table, g,
        [&](std::int64_t, const std::uint8_t* bgr) {
            bytes.insert(bytes.end(), bgr, bgr + g.WidthPixels * 3);
            return true;
        },
        [](std::int32_t) { return true; });
    return bytes;
}

}  // namespace testpictures
