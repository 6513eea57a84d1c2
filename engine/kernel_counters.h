#pragma once

#include <cstdint>

namespace ombrilo {

// What the fast kernels did: iterates computed in them, iterates their check sent back to the
// reference arithmetic, escape tests too close to |z|^2 = 4 to decide in double, left to the
// reference test, and points they found in the trap region (trap_region.h), which never escape;
// and the export kernel's steps its error bound could not take, left to its exact-tie rule
// (guardFallbacks of them went on to the reference); and the points whose index a box proved for
// their whole run (run_proof.h), whose iterates count as computed; and the export's points whose
// index its plain double steps decided.
// A kernel counts into its own instance and adds it to the process's totals when it returns.
struct KernelCounters {
    std::uint64_t iterates = 0;
    std::uint64_t guardFallbacks = 0;
    std::uint64_t escapeTies = 0;
    std::uint64_t trapped = 0;
    std::uint64_t detailedChecks = 0;
    std::uint64_t provenPoints = 0;
    std::uint64_t plainPoints = 0;
};

}  // namespace ombrilo
