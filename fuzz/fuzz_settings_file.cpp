// A settings.dat of any bytes, read as the main window reads it at start.
#include <cstdlib>

#include "formats/settings_file.h"
#include "fuzz_support.h"

using namespace ombrilo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const StartupSettings startup = LoadStartupSettings(fuzzsupport::InputAsFile(data, size));
    const Settings& s = startup.current;
    // What the program runs with is always valid, and any file that opens is taken.
    if (!IsValidPaletteType(s.palette.PaletteType) || s.SlideOrder > 1 || !startup.SettingsLoaded) {
        std::abort();
    }
    (void)SettingsNeedWrite(startup.snapshot, startup.current);
    return 0;
}
