#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ombrilo {

inline constexpr int kExitUserFolderFailed = 1;  // the user's folder cannot be made or written
inline constexpr int kExitBadCommandLine = 2;

// What the program is asked to do when it starts with a window.
struct StartRequest {
    bool userFolder = false;          // --user-folder: start in the user's data folder
    std::optional<std::string> file;  // a fractal or palette file to open
};

struct ProgramHelpRequest {};
struct ProgramVersionRequest {};

// A refused command line; the text is shown to the user as it is.
struct ProgramUsageError {
    std::string message;
};

using ProgramCommand =
    std::variant<StartRequest, ProgramHelpRequest, ProgramVersionRequest, ProgramUsageError>;

// Reads the arguments that follow the program name: "--user-folder", at most one file, "--"
// before a file whose name begins with "-". The toolkit's own options ("-platform xcb",
// "-style=fusion" ...) are let through for the toolkit. "--help" or "-h" anywhere before "--"
// asks for the help text, "--version" for the version text.
ProgramCommand ParseProgramArguments(const std::vector<std::string>& args);

// The texts for --help and --version, in Russian.
std::string ProgramUsageText();
std::string ProgramVersionText();

}  // namespace ombrilo
