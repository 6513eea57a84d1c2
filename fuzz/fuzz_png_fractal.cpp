// A PNG file of any bytes, searched for the fractal record as ombrilo-render reads a picture it
// wrote; a record found is laid over the start-up state as a fractal file's would be.
#include <cstdlib>

#include "formats/png_file.h"
#include "fuzz_support.h"

using namespace ombrilo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PngFractalRead read = ReadPngFractal(fuzzsupport::InputAsFile(data, size));
    // The same bytes in memory give the same answer as the file.
    const PngFractalRead inMemory = FindPngFractal({data, size});
    if (read.status == PngFractalStatus::Unreadable || read.status != inMemory.status) {
        std::abort();
    }
    if (read.status == PngFractalStatus::Found) {
        FractalState state = MakeStartState();
        (void)ApplyFractalRecord(read.record, state, /*loadPalette=*/true);
    } else {
        (void)PngFractalMessage(read.status);
    }
    return 0;
}
