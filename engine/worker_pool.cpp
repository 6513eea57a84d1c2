#include "worker_pool.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace ombrilo {

namespace {

// One ParallelFor call. It lives on the caller's stack; the caller leaves only when no worker
// holds it any more.
struct Job {
    const std::function<void(std::int64_t)>* body = nullptr;
    std::int64_t count = 0;
    std::atomic<std::int64_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;  // written once, by the thread that set `failed`
    int helpers = 0;           // workers inside Work(); guarded by the pool's mutex
    int callerCpu = -1;        // where the caller runs, or -1 when unknown
};

// Where a worker runs. Some kernels leave a thread that was just created or woken on the CPU of
// the thread that woke it for milliseconds, although another CPU is idle, and a picture is often
// done in less: the caller and the workers then take turns on one CPU. So a worker that joins a
// call first moves to a CPU of its own, the k-th of the process's CPUs other than the caller's,
// and stays there until a call comes from another CPU.
class Placement {
public:
    explicit Placement(int worker) : worker_(worker) {
        CPU_ZERO(&allowed_);
        // The process's CPUs, not the creating thread's: a caller held on one CPU may have
        // started the pool.
        usable_ = sched_getaffinity(getpid(), sizeof allowed_, &allowed_) == 0 &&
                  CPU_COUNT(&allowed_) >= 2;
    }

    void AwayFrom(int callerCpu) {
        if (!usable_ || callerCpu == placedFor_) {
            return;
        }
        placedFor_ = callerCpu;
        std::vector<int> others;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &allowed_) && cpu != callerCpu) {
                others.push_back(cpu);
            }
        }
        cpu_set_t target;
        CPU_ZERO(&target);
        CPU_SET(others[static_cast<std::size_t>(worker_) % others.size()], &target);
        if (sched_setaffinity(0, sizeof target, &target) != 0) {
            // The CPUs allowed have changed under the process: run anywhere from now on.
            usable_ = false;
            sched_setaffinity(0, sizeof allowed_, &allowed_);
        }
    }

private:
    int worker_;
    cpu_set_t allowed_;
    bool usable_ = false;
    int placedFor_ = -2;  // the caller's CPU the worker last moved away from
};

// Takes indices until none is left. A worker also stops when the pool shuts down (stop set);
// the caller passes no stop flag and finishes whatever the workers leave.
void Work(Job& job, const std::atomic<bool>* stop) {
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return;
        }
        const std::int64_t i = job.next.fetch_add(1, std::memory_order_relaxed);
        if (i >= job.count || job.failed.load(std::memory_order_relaxed)) {
            return;
        }
        try {
            (*job.body)(i);
        } catch (...) {
            if (!job.failed.exchange(true)) {
                job.error = std::current_exception();
            }
        }
    }
}

class Pool {
public:
    explicit Pool(int workers) {
        threads_.reserve(static_cast<std::size_t>(workers));
        for (int i = 0; i < workers; ++i) {
            threads_.emplace_back([this, i] { Serve(i); });
        }
    }

    int Workers() const { return static_cast<int>(threads_.size()); }

    void Run(Job& job) {
        job.callerCpu = sched_getcpu();
        bool queued = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!stopping_) {
                queue_.push_back(&job);
                queued = true;
            }
        }
        if (queued) {
            wake_.notify_all();
        }
        Work(job, nullptr);
        std::unique_lock<std::mutex> lock(mutex_);
        Unqueue(&job);
        idle_.wait(lock, [&] { return job.helpers == 0; });
    }

    // Lets the workers finish the index they hold, then joins them. Calls after this run on
    // their callers alone.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            stopFlag_.store(true);
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }

private:
    void Serve(int worker) {
        Placement placement(worker);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            Job* job = queue_.front();
            ++job->helpers;
            lock.unlock();
            placement.AwayFrom(job->callerCpu);
            Work(*job, &stopFlag_);
            lock.lock();
            Unqueue(job);  // every index of it is taken
            if (--job->helpers == 0) {
                idle_.notify_all();
            }
        }
    }

    void Unqueue(Job* job) {
        const auto it = std::find(queue_.begin(), queue_.end(), job);
        if (it != queue_.end()) {
            queue_.erase(it);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;  // a job was queued, or the pool stops
    std::condition_variable idle_;  // a job lost its last helper
    std::deque<Job*> queue_;
    bool stopping_ = false;
    std::atomic<bool> stopFlag_{false};
    std::vector<std::thread> threads_;
};

int ThreadsWanted() {
    if (const char* text = std::getenv("OMBRILO_THREADS")) {
        char* end = nullptr;
        const long wanted = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && wanted >= 1) {
            return static_cast<int>(std::min(wanted, 256L));
        }
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::max(2, static_cast<int>(std::min(hardware, 256U)));
}

// The pool is made on first use and never freed: a picture still being computed on another
// thread while the program exits must not find its mutex destroyed. The workers themselves are
// joined at exit.
Pool& ThePool() {
    static Pool* const pool = new Pool(ThreadsWanted() - 1);
    static const struct StopAtExit {
        ~StopAtExit() { pool->Stop(); }
    } stopAtExit{};
    return *pool;
}

}  // namespace

int ParallelThreadCount() {
    return ThePool().Workers() + 1;
}

void ParallelFor(std::int64_t count, const std::function<void(std::int64_t)>& body) {
    if (count <= 0) {
        return;
    }
    Pool& pool = ThePool();
    if (count == 1 || pool.Workers() == 0) {
        for (std::int64_t i = 0; i < count; ++i) {
            body(i);
        }
        return;
    }
    Job job;
    job.body = &body;
    job.count = count;
    pool.Run(job);
    if (job.error) {
        std::rethrow_exception(job.error);
    }
}

}  // namespace ombrilo
