#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace ombrilo {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read, rendered or written
inline constexpr int kExitUsage = 2;    // the command line was refused
inline constexpr int kExitInterrupted = 130;

inline constexpr const char* kRenderProgramName = "ombrilo-render";

// What the command-line renderer needs from its surroundings.
struct RenderCliEnvironment {
    // Standard error is a terminal: the progress bar is drawn there unless --quiet is given.
    bool stderrIsTerminal = false;
    // Polled while the picture is computed; true stops the work without writing a file.
    std::function<bool()> interrupted;
    // Draw with the straightforward reference loops (one thread, point by point) instead of the
    // fast kernels; the benchmark compares the two. main() sets it from OMBRILO_REFERENCE=1.
    bool referenceLoops = false;
};

// Runs ombrilo-render with the arguments that follow the program name: the help text goes to
// out, messages and the progress bar to err. Returns the process's exit status. The output file
// appears only when the whole picture has been written; on every failure an older file of that
// name stays as it was.
int RunRenderCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const RenderCliEnvironment& environment = {});

}  // namespace ombrilo
