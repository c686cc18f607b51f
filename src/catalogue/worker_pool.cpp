// The worker threads and their job queue. Every function here may run on any
// thread.
#include "catalogue/worker_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

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
  bool ending = false;  // the pool is being destroyed: end once the queue is empty

  void run() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !jobs.empty() || ending; });
        if (jobs.empty()) return;
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
  static WorkerPool *pool = [] {
    auto *made = new WorkerPool(std::clamp(processorCount(), 1u, 4u));
    for (std::thread &thread : made->threads_) thread.detach();
    made->threads_.clear();
    return made;
  }();
  return *pool;
}

unsigned WorkerPool::processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

WorkerPool::WorkerPool(unsigned threads) : queue_(std::make_shared<Queue>()), size_(threads) {
  // The threads share the queue, so that a detached one never outlives it.
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([queue = queue_] { queue->run(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->ending = true;
  }
  queue_->ready.notify_all();
  for (std::thread &thread : threads_) thread.join();
}

void WorkerPool::post(std::function<void()> job, std::function<void(const std::string &)> failed) {
  {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->jobs.push_back({std::move(job), std::move(failed)});
  }
  queue_->ready.notify_one();
}

void WorkerPool::forEach(size_t count, const std::function<void(size_t)> &job,
                         const std::function<void(size_t, size_t)> &progress,
                         const std::atomic<bool> *cancel) {
  // Shared with the helpers: one that a busy worker starts only after the
  // caller has returned finds every job taken and touches nothing else.
  struct Run {
    std::atomic<size_t> next{0};
    std::mutex lock;
    std::condition_variable ended;
    size_t finished = 0;  // jobs taken and ended, run or passed over
    std::exception_ptr failure;
  };
  auto run = std::make_shared<Run>();
  const std::function<void(size_t)> *work = &job;
  const std::function<void(size_t, size_t)> *report = &progress;
  auto share = [run, work, report, cancel, count] {
    for (size_t i = run->next++; i < count; i = run->next++) {
      std::exception_ptr failure;
      const bool skipped = cancel != nullptr && *cancel;
      if (!skipped) try {
          (*work)(i);
        } catch (...) {
          failure = std::current_exception();
        }
      std::lock_guard<std::mutex> hold(run->lock);
      if (failure && !run->failure) run->failure = failure;
      ++run->finished;
      if (!skipped && *report) {
        try {
          (*report)(run->finished, count);
        } catch (...) {
          if (!run->failure) run->failure = std::current_exception();
        }
      }
      if (run->finished == count) run->ended.notify_all();
    }
  };
  const size_t helpers = std::min<size_t>(size_, count > 0 ? count - 1 : 0);
  for (size_t h = 0; h < helpers; ++h) post(share);
  share();
  std::unique_lock<std::mutex> hold(run->lock);
  run->ended.wait(hold, [&] { return run->finished == count; });
  if (run->failure) std::rethrow_exception(run->failure);
}
