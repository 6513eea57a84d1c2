// A .ptt file of any bytes, read as the palette browser and ombrilo-render read it; a taken
// palette builds the colour table from whatever levels the file holds.
#include <cstdlib>

#include "formats/palette_file.h"
#include "fuzz_support.h"

using namespace ombrilo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FractalState state = MakeStartState();
    const PaletteReadResult result = ReadPaletteFile(fuzzsupport::InputAsFile(data, size), state);
    // A palette that was not taken leaves the state's palette as it was.
    if (!result.opened || (!result.paletteAccepted && !(state.palette == Palette{}))) {
        std::abort();
    }
    return 0;
}
