#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "render_cli.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void NoteInterrupt(int) {
    gInterrupted = 1;
}

// The first Ctrl+C (or termination request) lets the render stop between rows and remove its
// unfinished file; the handler then falls back to the default, so a second one ends the
// process at once.
void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = &NoteInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

int main(int argc, char** argv) {
    CatchInterrupts();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ombrilo::RenderCliEnvironment environment;
    environment.stderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
    environment.interrupted = [] { return gInterrupted != 0; };
    const char* reference = std::getenv("OMBRILO_REFERENCE");
    environment.referenceLoops = reference != nullptr && std::strcmp(reference, "1") == 0;
    return ombrilo::RunRenderCli(args, std::cout, std::cerr, environment);
}
