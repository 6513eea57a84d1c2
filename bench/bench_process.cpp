// The whole program as a user times it: runs the built ombrilo-render on full-screen pictures
// (start, render, file written; 1920 x 1080 unless the case says otherwise) with the fast kernels
// and with the straightforward reference loops (OMBRILO_REFERENCE=1), checks that both files are
// the same byte for byte, and prints the ratio of their wall-clock times, with one thread
// (OMBRILO_THREADS=1) and with all. Run: cmake --build build --target ombrilo-bench-process
// ombrilo-render &&
//      build/bench/ombrilo-bench-process [REPEATS] [PATH-TO-ombrilo-render]
// Each fast run is repeated (default 5 times) and the best and the median wall-clock time are
// shown; the reference runs once where it takes seconds, and as often as the fast runs (its
// best taken) where it is shorter. On a machine shared with other work the
// processor time (user + system, all threads) varies less than the wall clock: the last columns
// give the ratio of the reference's processor time to the fast runs' best.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/fractal_state.h"
#include "formats/fractal_file.h"

extern char** environ;

using namespace ombrilo;

namespace {

struct Case {
    const char* name;
    float centerX;
    float centerY;
    float width;
    double cx = 0.402;  // the start constant
    double cy = 0.339;
    const char* screen = "1920x1080";
};

// The start view; a small view outside the set where every point escapes within a few
// iterates; a zoom at the boundary (about two thirds inside); a view entirely inside the set;
// all with the start constant and palette. Then a boundary zoom of -0.8 + 0.156i, just outside
// the Mandelbrot set: no point escapes before its 65th iterate, a quarter run to the limit, and
// neither boxes nor a trap region decide any; at 1920 x 1080 and at 3840 x 2160.
const Case kCases[] = {
    {"start view", 0.0f, 0.0f, 5.0f},
    {"every point escapes at once", 0.5186f, 0.2317f, 1e-4f},
    {"boundary zoom", 0.148389578f, 0.0f, 1e-3f},
    {"inside the set", 0.0f, 0.0f, 0.05f},
    {"-0.8+0.156i boundary", 0.9238f, 0.0f, 0.05f, -0.8, 0.156},
    {"-0.8+0.156i boundary 4K", 0.9238f, 0.0f, 0.05f, -0.8, 0.156, "3840x2160"},
};

struct RunResult {
    bool ok = false;
    double seconds = 0.0;     // wall clock
    double cpuSeconds = 0.0;  // user and system time of all its threads
};

// Runs the program with extra environment entries; the wall-clock time from spawn to exit.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> environment(extraEnvironment);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (text.rfind("OMBRILO_", 0) != 0) {
            environment.push_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& text : environment) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argStrings) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return {};
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return {};
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto toSeconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, seconds,
            toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime)};
}

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string DefaultProgram(const char* self) {
    return (std::filesystem::path(self).parent_path().parent_path() / "tools" / "ombrilo-render")
        .string();
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string program = argc > 2 ? argv[2] : DefaultProgram(argv[0]);
    std::string folder = (std::filesystem::temp_directory_path() / "ombrilo-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("%s, --screen, best and median of %d runs; ratio = reference / fast\n",
                program.c_str(), repeats);
    std::printf("%-28s %9s %19s %19s %8s %8s %8s %8s\n", "case", "reference", "fast, 1 thread",
                "fast, all threads", "ratio 1", "ratio all", "cpu 1", "cpu all");
    int failures = 0;
    for (const Case& c : kCases) {
        FractalState state = MakeStartState();
        state.Cx = c.cx;
        state.Cy = c.cy;
        state.CenterX = c.centerX;
        state.CenterY = c.centerY;
        SetViewWidth(state, c.width);
        const std::string frc = folder + "/case.frc";
        const std::string referenceBmp = folder + "/reference.bmp";
        const std::string fastBmp = folder + "/fast.bmp";
        if (!WriteFractalFile(frc, state)) {
            std::fprintf(stderr, "cannot write %s\n", frc.c_str());
            return 1;
        }
        const std::vector<std::string> args{"--quiet", "--screen", c.screen, frc};
        auto withOutput = [&](const std::string& out) {
            std::vector<std::string> all(args);
            all.push_back(out);
            return all;
        };
        // Short reference runs are repeated as well: their best is as steady as the fast runs'.
        RunResult reference = Run(program, withOutput(referenceBmp), {"OMBRILO_REFERENCE=1"});
        for (int r = 1; r < repeats && reference.ok && reference.seconds < 0.5; ++r) {
            const RunResult again = Run(program, withOutput(referenceBmp), {"OMBRILO_REFERENCE=1"});
            reference.ok = again.ok;
            reference.seconds = std::min(reference.seconds, again.seconds);
            reference.cpuSeconds = std::min(reference.cpuSeconds, again.cpuSeconds);
        }
        const std::vector<char> expected = FileBytes(referenceBmp);
        double best[2] = {0.0, 0.0};
        double bestCpu[2] = {0.0, 0.0};
        double median[2] = {0.0, 0.0};
        bool same = reference.ok;
        for (int threads = 0; threads < 2; ++threads) {
            std::vector<std::string> environment;
            if (threads == 0) {
                environment.push_back("OMBRILO_THREADS=1");
            }
            std::vector<double> times;
            std::vector<double> cpuTimes;
            for (int r = 0; r < repeats; ++r) {
                std::filesystem::remove(fastBmp);
                const RunResult fast = Run(program, withOutput(fastBmp), environment);
                same = same && fast.ok && FileBytes(fastBmp) == expected;
                times.push_back(fast.seconds);
                cpuTimes.push_back(fast.cpuSeconds);
            }
            best[threads] = *std::min_element(times.begin(), times.end());
            median[threads] = Median(times);
            bestCpu[threads] = *std::min_element(cpuTimes.begin(), cpuTimes.end());
        }
        std::printf("%-28s %8.3fs %8.3fs %8.3fs %8.3fs %8.3fs %7.1fx %7.1fx %7.1fx %7.1fx%s\n",
                    c.name, reference.seconds, best[0], median[0], best[1], median[1],
                    reference.seconds / best[0], reference.seconds / best[1],
                    reference.cpuSeconds / bestCpu[0], reference.cpuSeconds / bestCpu[1],
                    same ? "" : "  FILES DIFFER");
        failures += same ? 0 : 1;
    }
    std::filesystem::remove_all(folder);
    return failures == 0 ? 0 : 1;
}
