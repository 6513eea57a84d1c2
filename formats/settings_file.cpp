#include "settings_file.h"

#include <algorithm>

#include "file_io.h"

namespace ombrilo {

namespace {

std::array<std::int32_t*, 11> IntFields(Settings& s) {
    Palette& p = s.palette;
    return {&s.SlideDelay, &s.CloseAfterSave, &s.Left, &s.Top, &p.R0, &p.G0, &p.B0, &p.R1, &p.G1,
            &p.B1,         &p.PaletteType};
}

constexpr std::size_t kSlideOrderOffset = 44;

}  // namespace

Settings DefaultSettings() {
    Settings s;
    s.SlideDelay = 4;
    s.CloseAfterSave = 0;
    s.palette = Palette{};
    s.SlideOrder = 0;
    return s;
}

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const Settings& settings) {
    Settings copy = settings;
    std::array<std::uint8_t, kSettingsFileSize> out{};
    const auto fields = IntFields(copy);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        PutInt32(&out[4 * i], *fields[i]);
    }
    out[kSlideOrderOffset] = settings.SlideOrder;
    return out;
}

Settings DecodeSettings(std::span<const std::uint8_t> bytes, const Settings& base) {
    auto raw = EncodeSettings(base);
    std::copy_n(bytes.begin(), std::min(bytes.size(), raw.size()), raw.begin());
    Settings s;
    const auto fields = IntFields(s);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        *fields[i] = GetInt32(&raw[4 * i]);
    }
    s.SlideOrder = raw[kSlideOrderOffset];
    return s;
}

void ValidateSettings(Settings& settings) {
    if (!IsValidPaletteType(settings.palette.PaletteType)) {
        settings.palette.PaletteType = 1;
    }
    if (settings.SlideOrder > 1) {
        settings.SlideOrder = 0;
    }
}

StartupSettings LoadStartupSettings(const std::string& path) {
    StartupSettings startup;
    const auto bytes = ReadFilePrefix(path, kSettingsFileSize);
    startup.SettingsLoaded = bytes.has_value();
    startup.snapshot = bytes ? DecodeSettings(*bytes, Settings{}) : DefaultSettings();
    startup.current = startup.snapshot;
    ValidateSettings(startup.current);
    return startup;
}

bool SettingsNeedWrite(const Settings& snapshot, const Settings& current) {
    return snapshot != current;
}

bool WriteSettingsFile(const std::string& path, const Settings& settings) {
    return WriteFileAtomically(path, EncodeSettings(settings));
}

}  // namespace ombrilo
