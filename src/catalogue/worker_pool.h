// A small pool of worker threads, one per processor core (at most four), for
// work that touches no widget: decoding pictures. Jobs run in the order they
// were posted. The threads live as long as the process and are never joined.
// A job that ends with an exception is reported failed; the thread lives on.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>

class WorkerPool {
 public:
  // The process's pool, started on first use.
  static WorkerPool &shared();

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

 private:
  explicit WorkerPool(unsigned threads);
  struct Queue;
  std::shared_ptr<Queue> queue_;
  unsigned size_;
};
