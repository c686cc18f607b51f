// The process's worker threads and their job queue.
#include "catalogue/worker_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// What a job that ended with an exception said, as its failure report reads it.
std::string failureText(const std::exception_ptr &failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc &) {
    return "brak pamięci";
  } catch (const std::exception &error) {
    return error.what();
  } catch (...) {
    return "nieznany błąd";
  }
}

}  // namespace

struct WorkerPool::Queue {
  struct Job {
    std::function<void()> work;
    std::function<void(const std::string &)> failed;
  };
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Job> jobs;

  void run() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !jobs.empty(); });
        job = std::move(jobs.front());
        jobs.pop_front();
      }
      // An exception must not leave the thread: it would end the process
      // without the cleanup of its working directory. The job is reported
      // failed instead, and the thread goes on with the next one.
      try {
        job.work();
      } catch (...) {
        std::string why = failureText(std::current_exception());
        try {
          if (job.failed) job.failed(why);
        } catch (...) {
          // Nothing is left to tell it to.
        }
      }
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

void WorkerPool::post(std::function<void()> job, std::function<void(const std::string &)> failed) {
  {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->jobs.push_back({std::move(job), std::move(failed)});
  }
  queue_->ready.notify_one();
}
