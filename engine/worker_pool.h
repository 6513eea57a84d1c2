#pragma once

#include <cstdint>
#include <functional>

namespace ombrilo {

// Runs body(i) for every i in [0, count), handing the indices out one at a time, in increasing
// order, to the process's worker threads and to the calling thread, and returns when all are
// done. Any thread may call it, also several at once and from inside a body: the caller always
// works on its own call, so a call finishes even when every worker is busy elsewhere. The first
// exception a body throws is rethrown here once the running bodies have returned; indices not
// yet started are then skipped.
void ParallelFor(std::int64_t count, const std::function<void(std::int64_t)>& body);

// Threads that can work on one call: the pool's workers and the caller. The pool has
// hardware_concurrency() - 1 workers (at least one); OMBRILO_THREADS=N, read once, asks for N
// threads in all (1 runs every call on its caller alone).
int ParallelThreadCount();

}  // namespace ombrilo
