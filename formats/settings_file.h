#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/palette.h"

namespace ombrilo {

// The 45-byte settings.dat: eleven little-endian 32-bit fields and one byte.
inline constexpr std::size_t kSettingsFileSize = 45;
inline constexpr const char* kSettingsFileName = "settings.dat";

// Settings fields start at zero: a short file leaves the fields it lacks at zero.
struct Settings {
    std::int32_t SlideDelay = 0;
    std::int32_t CloseAfterSave = 0;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    Palette palette{0, 0, 0, 0, 0, 0, 0};
    std::uint8_t SlideOrder = 0;

    bool operator==(const Settings&) const = default;
};

// The values used when there is no settings file; the window position is decided by the window.
Settings DefaultSettings();

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const Settings& settings);
Settings DecodeSettings(std::span<const std::uint8_t> bytes, const Settings& base);

// Start-up: the settings as read (or the defaults), the snapshot taken before validation, and
// the validated values the program runs with.
struct StartupSettings {
    bool SettingsLoaded = false;
    Settings snapshot;  // as read, before validation; Left/Top are StoredLeft/StoredTop
    Settings current;   // validated: palette type 1..8, slide order 0 or 1
};

StartupSettings LoadStartupSettings(const std::string& path);

// Palette type outside 1..8 becomes 1, slide order above 1 becomes 0.
void ValidateSettings(Settings& settings);

// Whether anything settings.dat holds differs from the start-up snapshot (a repaired palette
// type or slide order counts as a change).
bool SettingsNeedWrite(const Settings& snapshot, const Settings& current);

bool WriteSettingsFile(const std::string& path, const Settings& settings);

}  // namespace ombrilo
