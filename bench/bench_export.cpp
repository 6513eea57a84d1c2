// The export as users time it: the straightforward reference loops against the fast export in
// this process and against the whole ombrilo-render process, with one thread and with all, the
// exactness checks' fallback rates, and a huge export far outside the set against dd writing
// the same number of bytes. Every picture is compared byte for byte with the reference first.
//
//   ombrilo-bench-export [--repeat N] [--dir FOLDER] [--no-huge] [--render PROGRAM]
//
// --render times another build of ombrilo-render (an older one, say) in the whole-process rows.
//
// Times are the best of N runs (default 3), with the worst beside it to show how noisy the
// machine is. The one-thread figures come from child processes started with OMBRILO_THREADS=1
// (the thread count is read once per process).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/export_render.h"
#include "engine/fast_kernels.h"
#include "engine/fractal_state.h"
#include "formats/bmp_file.h"
#include "formats/fractal_file.h"

namespace {

using namespace ombrilo;
using Clock = std::chrono::steady_clock;

struct Case {
    std::int64_t width;
    std::int64_t height;
    int detail;
};

struct Spread {
    double best = 1e300;
    double worst = 0.0;
    void Add(double seconds) {
        best = std::min(best, seconds);
        worst = std::max(worst, seconds);
    }
};

template <typename Run>
double SecondsOf(const Run& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ExportView StartView() {
    const FractalState s = MakeStartState();
    return {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth};
}

ExportGeometry GeometryOf(const Case& c) {
    return MakeExportGeometry(StartView().ViewWidth, c.width, c.height,
                              *ExportLimitForDetail(c.detail));
}

// The picture as the bitmap file ombrilo-render writes.
std::vector<std::uint8_t> BmpBytes(const Case& c, decltype(&RenderExport) render) {
    const BmpLayout layout = *BmpLayoutFor(c.width, c.height);
    const auto header = EncodeBmpHeader(layout);
    std::vector<std::uint8_t> file(layout.fileBytes, 0);
    std::copy(header.begin(), header.end(), file.begin());
    render(
        StartView(), MakeStartState().colorTable, GeometryOf(c),
        [&](std::int64_t row, const std::uint8_t* bgr) {
            std::copy_n(bgr, c.width * 3,
                        file.begin() + kBmpHeaderSize + (c.height - 1 - row) * layout.rowBytes);
            return true;
        },
        [](std::int32_t) { return true; });
    return file;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a command with OMBRILO_THREADS set (0: left as it is); its wall time, or -1 on failure.
double TimeCommand(const std::vector<std::string>& args, int threads, std::string* output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1.0;
    }
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        if (threads > 0) {
            setenv("OMBRILO_THREADS", std::to_string(threads).c_str(), 1);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        if (output != nullptr) {
            output->append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

// Child mode: the fast export in this process, checked against the reference bytes, then its
// time and the kernel's counters on one line.
int RunChild(const Case& c, int repeat) {
    const std::vector<std::uint8_t> reference = BmpBytes(c, &RenderExportReference);
    if (BmpBytes(c, &RenderExport) != reference) {
        std::fprintf(stderr, "the fast export differs from the reference\n");
        return 1;
    }
    ResetKernelCounters();
    Spread fast;
    for (int i = 0; i < repeat; ++i) {
        fast.Add(SecondsOf([&] { BmpBytes(c, &RenderExport); }));
    }
    const KernelCounters k = ReadKernelCounters();
    std::printf("%.6f %.6f %llu %llu %llu %.6f\n", fast.best, fast.worst,
                static_cast<unsigned long long>(k.iterates),
                static_cast<unsigned long long>(k.detailedChecks),
                static_cast<unsigned long long>(k.guardFallbacks),
                static_cast<double>(k.provenPoints) /
                    (static_cast<double>(c.width) * static_cast<double>(c.height) * repeat));
    return 0;
}

struct ChildResult {
    Spread seconds;
    double detailedRate = 0.0;
    double referenceRate = 0.0;
    double boxRate = 0.0;  // pixels whose index a box proved for their whole span
    bool ok = false;
};

ChildResult InProcess(const std::string& self, const Case& c, int threads, int repeat) {
    std::string out;
    ChildResult r;
    if (TimeCommand({self, "--child", std::to_string(c.width), std::to_string(c.height),
                     std::to_string(c.detail), std::to_string(repeat)},
                    threads, &out) < 0) {
        return r;
    }
    unsigned long long iterates = 0, detailed = 0, fallbacks = 0;
    if (std::sscanf(out.c_str(), "%lf %lf %llu %llu %llu %lf", &r.seconds.best, &r.seconds.worst,
                    &iterates, &detailed, &fallbacks, &r.boxRate) != 6) {
        return r;
    }
    r.ok = true;
    if (iterates > 0) {
        r.detailedRate = static_cast<double>(detailed) / static_cast<double>(iterates);
        r.referenceRate = static_cast<double>(fallbacks) / static_cast<double>(iterates);
    }
    return r;
}

Spread WholeProcess(const std::vector<std::string>& args, int threads, int repeat,
                    const std::string& outPath, const std::vector<std::uint8_t>* expected) {
    Spread s;
    for (int i = 0; i < repeat; ++i) {
        const double seconds = TimeCommand(args, threads, nullptr);
        if (seconds < 0 || (expected != nullptr && ReadFile(outPath) != *expected)) {
            std::remove(outPath.c_str());
            return {};
        }
        std::remove(outPath.c_str());
        s.Add(seconds);
    }
    return s;
}

void PrintRatio(const char* what, double reference, const Spread& s) {
    if (s.worst <= 0.0) {
        std::printf("  %-34s failed or differs from the reference\n", what);
        return;
    }
    std::printf("  %-34s %9.3f s (worst %8.3f s)  %7.1fx (worst %6.1fx)\n", what, s.best, s.worst,
                reference / s.best, reference / s.worst);
}

std::string renderProgram = OMBRILO_RENDER_PATH;

void SmallCase(const std::string& self, const Case& c, const std::string& dir, int repeat) {
    std::printf("export %lld x %lld, detail %d (start view)\n", static_cast<long long>(c.width),
                static_cast<long long>(c.height), c.detail);
    std::vector<std::uint8_t> reference;
    Spread ref;
    for (int i = 0; i < std::max(1, repeat / 2); ++i) {
        ref.Add(SecondsOf([&] { reference = BmpBytes(c, &RenderExportReference); }));
    }
    std::printf("  %-34s %9.3f s (worst %8.3f s)\n", "reference loops, one thread", ref.best,
                ref.worst);
    for (int threads : {1, 0}) {
        const ChildResult r = InProcess(self, c, threads, repeat);
        const std::string label =
            std::string("in process, ") + (threads == 1 ? "one thread" : "all threads");
        PrintRatio(label.c_str(), ref.best, r.ok ? r.seconds : Spread{});
        if (r.ok && threads == 0) {
            std::printf(
                "  %-34s %9.5f of steps refused by the error bound, %.5f to the reference step\n",
                "fallback rates", r.detailedRate, r.referenceRate);
            std::printf("  %-34s %9.5f of the pixels\n", "proven by boxes of whole spans",
                        r.boxRate);
        }
    }
    const std::string out = dir + "/ombrilo-bench-export.bmp";
    const std::vector<std::string> args = {renderProgram,
                                           "--quiet",
                                           "--size",
                                           std::to_string(c.width) + "x" + std::to_string(c.height),
                                           "--detail",
                                           std::to_string(c.detail),
                                           out};
    PrintRatio("ombrilo-render, one thread", ref.best,
               WholeProcess(args, 1, repeat, out, &reference));
    PrintRatio("ombrilo-render, all threads", ref.best,
               WholeProcess(args, 0, repeat, out, &reference));
}

// 30000 x 22500 at detail 256 of a view where every point escapes at once: the time is the
// file's, set against dd writing as many bytes to the same folder and syncing them.
void HugeCase(const std::string& dir, int repeat) {
    const std::string frc = dir + "/ombrilo-bench-outside.frc";
    FractalState outside = MakeStartState();
    outside.CenterX = 100.0f;
    outside.CenterY = 100.0f;
    outside.ViewWidth = 20.0f;
    if (!WriteFractalFile(frc, outside)) {
        std::printf("cannot write %s\n", frc.c_str());
        return;
    }
    const BmpLayout layout = *BmpLayoutFor(30000, 22500);
    const std::string out = dir + "/ombrilo-bench-huge.bmp";
    const std::string ddOut = dir + "/ombrilo-bench-dd.bin";
    std::printf("export 30000 x 22500, detail 256, a view far outside the set (%.2f GB)\n",
                layout.fileBytes / 1e9);
    Spread dd;
    for (int i = 0; i < repeat; ++i) {
        const double s = TimeCommand({"/bin/dd", "if=/dev/zero", "of=" + ddOut, "bs=1000000",
                                      "count=" + std::to_string(layout.fileBytes / 1000000 + 1),
                                      "conv=fsync", "status=none"},
                                     0, nullptr);
        std::remove(ddOut.c_str());
        if (s > 0) {
            dd.Add(s);
        }
    }
    std::printf("  %-34s %9.3f s (worst %8.3f s)\n", "dd conv=fsync, same bytes", dd.best,
                dd.worst);
    for (int threads : {1, 0}) {
        const Spread s = WholeProcess(
            {renderProgram, "--quiet", "--size", "30000x22500", "--detail", "256", frc, out},
            threads, repeat, out, nullptr);
        std::printf("  %-34s %9.3f s (worst %8.3f s)  %5.2f x dd (worst %5.2f x dd)\n",
                    threads == 1 ? "ombrilo-render, one thread" : "ombrilo-render, all threads",
                    s.best, s.worst, s.best / dd.best, s.worst / dd.worst);
    }
    std::remove(frc.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        return RunChild({std::atoll(argv[2]), std::atoll(argv[3]), std::atoi(argv[4])},
                        std::max(1, std::atoi(argv[5])));
    }
    int repeat = 3;
    std::string dir = "/tmp";
    bool huge = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            dir = argv[++i];
        } else if (std::strcmp(argv[i], "--no-huge") == 0) {
            huge = false;
        } else if (std::strcmp(argv[i], "--render") == 0 && i + 1 < argc) {
            renderProgram = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--repeat N] [--dir FOLDER] [--no-huge] [--render PROGRAM]\n",
                         argv[0]);
            return 2;
        }
    }
    const std::string self = "/proc/self/exe";
    char path[4096];
    const ssize_t n = readlink(self.c_str(), path, sizeof path - 1);
    const std::string me = n > 0 ? std::string(path, static_cast<std::size_t>(n)) : argv[0];
    std::printf("lanes: %s\n", !ExportFmaEnabled()  ? "off"
                               : WideLanesEnabled() ? "AVX-512"
                                                    : "AVX2");
    SmallCase(me, {1024, 768, 256}, dir, repeat);
    SmallCase(me, {1280, 960, 8192}, dir, repeat);
    if (huge) {
        HugeCase(dir, repeat);
    }
    return 0;
}
