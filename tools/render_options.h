#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/map_render.h"

namespace ombrilo {

// Which picture the tool draws.
enum class RenderMode {
    Export,    // the image export: any size, deeper iteration limit
    Main,      // the 530 x 409 main view
    Screen,    // the full-screen picture on a screen of the given size
    Overview,  // the 81 x 65 overview
    Map,       // the map of C (the parameter plane), default 530 x 409
};

struct PictureSize {
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool operator==(const PictureSize&) const = default;
};

inline constexpr PictureSize kDefaultExportSize{1024, 768};
inline constexpr int kDefaultExportDetail = 256;
inline constexpr PictureSize kDefaultMapSize{530, 409};

// A command line that has been understood.
struct RenderRequest {
    RenderMode mode = RenderMode::Export;
    PictureSize size = kDefaultExportSize;  // export, screen or map size; unused otherwise
    int detail = kDefaultExportDetail;
    std::optional<std::string> palettePath;
    std::optional<std::string> fractalPath;
    std::string outputPath;  // with frames: the pattern of the frames' names
    bool quiet = false;
    // A sweep of C in frames (0: one picture) from the file's C to (toCx, toCy).
    std::int64_t frames = 0;
    double toCx = 0.0;
    double toCy = 0.0;
    // The map's view (--map-view), rounded to floats.
    MapView mapView;
};

// The largest number of frames one run makes.
inline constexpr std::int64_t kMaxFrames = 1000000;

struct HelpRequest {};
struct VersionRequest {};

// Why a command line was refused; the text is shown to the user as it is.
struct UsageError {
    std::string message;
};

using ParsedArguments = std::variant<RenderRequest, HelpRequest, VersionRequest, UsageError>;

// Reads the arguments that follow the program name. Options may come anywhere, each at most
// once, as "--name value" or "--name=value"; "--" ends them. The last file name is the output,
// an optional one before it the fractal file. "--help" (or "-h") anywhere before "--" asks for
// the help text, "--version" for the version text.
ParsedArguments ParseRenderArguments(const std::vector<std::string>& args);

enum class NumberError { None, NotANumber, TooLarge };

struct ParsedNumber {
    std::int64_t value = 0;
    NumberError error = NumberError::None;
};

// Strict decimal number: digits only (no sign, spaces or trailing characters), at most
// INT64_MAX.
ParsedNumber ParseDecimal(std::string_view text);

// "WxH" with x, X or the Cyrillic х between two decimal numbers greater than zero; on failure
// the reason in Russian.
std::variant<PictureSize, std::string> ParsePictureSize(std::string_view text);

// A real number as written on the command line ("-0.75", "1e-3"): finite, nothing around it.
std::optional<double> ParseReal(std::string_view text);

// The help text, in Russian.
std::string RenderUsageText();

// The version text: the program, its version and its licence, in Russian.
std::string RenderVersionText();

}  // namespace ombrilo
