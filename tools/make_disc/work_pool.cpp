// Every function here may run on any thread.
#include "work_pool.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace makedisc {

int workerCount(int threads) {
  if (threads > 0) return threads;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void runJobs(size_t count, int threads, const std::function<void(size_t)> &job,
             const std::function<void(size_t, size_t)> &progress, const std::atomic<bool> *cancel) {
  std::atomic<size_t> next{0};
  size_t done = 0;
  std::mutex progressLock;
  auto work = [&] {
    for (size_t i = next++; i < count; i = next++) {
      if (cancel != nullptr && *cancel) return;
      job(i);
      std::lock_guard<std::mutex> hold(progressLock);
      ++done;
      if (progress) progress(done, count);
    }
  };
  const int workers = std::min<size_t>(static_cast<size_t>(workerCount(threads)), std::max<size_t>(count, 1));
  std::vector<std::thread> pool;
  for (int t = 1; t < workers; ++t) pool.emplace_back(work);
  work();
  for (std::thread &thread : pool) thread.join();
}

}  // namespace makedisc
