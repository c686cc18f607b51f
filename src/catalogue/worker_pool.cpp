// The process's worker threads and their job queue.
#include "catalogue/worker_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct WorkerPool::Queue {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::function<void()>> jobs;

  void run() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !jobs.empty(); });
        job = std::move(jobs.front());
        jobs.pop_front();
      }
      job();
    }
  }
};

WorkerPool &WorkerPool::shared() {
  // Never destroyed: its threads may still be decoding when the process ends.
  static WorkerPool *pool = new WorkerPool(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  return *pool;
}

WorkerPool::WorkerPool(unsigned threads) : queue_(std::make_shared<Queue>()), size_(threads) {
  for (unsigned i = 0; i < threads; ++i) std::thread([queue = queue_] { queue->run(); }).detach();
}

void WorkerPool::post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->jobs.push_back(std::move(job));
  }
  queue_->ready.notify_one();
}
