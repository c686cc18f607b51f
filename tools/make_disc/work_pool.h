// A small pool for the disc's long jobs: every processor works through one
// list of independent jobs, and progress is reported as they end.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace makedisc {

// Runs job(0) ... job(count - 1) on `threads` threads (the caller's own
// thread is one of them; 0 means one per processor). Jobs may run in any
// order and at the same time; `progress` (done, count) is called after each
// job, one call at a time. Stops starting new jobs once `cancel` is raised.
void runJobs(size_t count, int threads, const std::function<void(size_t)> &job,
             const std::function<void(size_t, size_t)> &progress = nullptr,
             const std::atomic<bool> *cancel = nullptr);

// The number of threads `threads` stands for.
int workerCount(int threads);

}  // namespace makedisc
