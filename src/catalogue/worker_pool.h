// Worker threads for work that touches no widget: decoding pictures in the
// navigator (the process's pool, one thread per processor core, at most four),
// reading, copying and rendering a whole export in the disc tools (a pool of
// the size asked for). Posted jobs run in the order they were posted. A job
// that ends with an exception is reported failed; the thread lives on.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class WorkerPool {
 public:
  // The process's pool, started on first use and never ended: its threads may
  // still be decoding when the process ends.
  static WorkerPool &shared();

  // A pool of `threads` workers of its own (none: forEach runs on its caller
  // alone), ended with it once the jobs posted to it have run.
  explicit WorkerPool(unsigned threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool &) = delete;
  WorkerPool &operator=(const WorkerPool &) = delete;

  // The processor cores of this machine, at least one.
  static unsigned processorCount();

  // Number of worker threads.
  unsigned size() const { return size_; }

  // Runs `job` on a worker. Should it end with an exception, `failed` (when
  // given) is run on the same worker with the exception's text instead.
  void post(std::function<void()> job, std::function<void(const std::string &)> failed = {});

  // Runs `work` on a worker; its result (or exception) comes through the future.
  template <typename Work>
  auto submit(Work work) -> std::future<decltype(work())> {
    auto task = std::make_shared<std::packaged_task<decltype(work())()>>(std::move(work));
    auto result = task->get_future();
    post([task] { (*task)(); });
    return result;
  }

  // Runs job(0) ... job(count - 1) on every worker and the calling thread at
  // once, in any order, and returns when all have ended; the caller's share
  // keeps it going however busy the workers are. `progress` (done, count) is
  // called after each job, one call at a time. Once `cancel` is raised no
  // further job starts. The first exception of a job is thrown here, after
  // the others have ended.
  void forEach(size_t count, const std::function<void(size_t)> &job,
               const std::function<void(size_t, size_t)> &progress = {},
               const std::atomic<bool> *cancel = nullptr);

 private:
  struct Queue;
  std::shared_ptr<Queue> queue_;
  std::vector<std::thread> threads_;
  unsigned size_;
};
