// A .frc file of any bytes, read as the browsers, the slide show and ombrilo-render read it, and
// its fractal drawn: the fast pictures (all cores, lanes, exact cycle watch) must equal the
// straightforward loops whatever centre, width and C the file holds.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/export_render.h"
#include "engine/render.h"
#include "formats/fractal_file.h"
#include "fuzz_support.h"

using namespace ombrilo;

namespace {

std::vector<std::uint8_t> DrawScreen(const FractalState& state, bool fast) {
    constexpr int kWidth = 24, kHeight = 18;
    std::vector<std::uint8_t> bits(kWidth * kHeight * 4, 0);
    const Frame32 frame{bits.data(), kWidth, kHeight, kWidth * 4};
    const ViewGeometry view = ScreenGeometry(state, kWidth, kHeight);
    fast ? RenderView(state, view, frame) : RenderViewReference(state, view, frame);
    return bits;
}

std::vector<std::uint8_t> DrawExport(const FractalState& state, bool fast) {
    const ExportView view = ExportViewOf(state);
    const ExportGeometry geometry = MakeExportGeometry(state.ViewWidth, 12, 9, 254);
    std::vector<std::uint8_t> bits;
    const ExportRowSink sink = [&](std::int64_t, const std::uint8_t* bgr) {
        bits.insert(bits.end(), bgr, bgr + 12 * 3);
        return true;
    };
    const ExportReportPoint report = [](std::int32_t) { return true; };
    fast ? RenderExport(view, state.colorTable, geometry, sink, report)
         : RenderExportReference(view, state.colorTable, geometry, sink, report);
    return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FractalState state = MakeStartState();
    const FractalReadResult result =
        ReadFractalFile(fuzzsupport::InputAsFile(data, size), state, /*loadPalette=*/true);
    if (!result.opened) {
        std::abort();
    }
    if (DrawScreen(state, true) != DrawScreen(state, false) ||
        DrawExport(state, true) != DrawExport(state, false)) {
        std::abort();
    }
    return 0;
}
