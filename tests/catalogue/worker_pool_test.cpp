// A job that throws is reported failed with what it threw, and every worker
// goes on with the next jobs; a whole list of jobs runs on a pool of any size.
#include "catalogue/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

TEST(WorkerPoolTest, AJobThatThrowsIsReportedFailedAndEveryWorkerGoesOn) {
  WorkerPool &pool = WorkerPool::shared();
  std::mutex lock;
  std::condition_variable reported;
  std::multiset<std::string> reports;
  auto report = [&](const std::string &why) {
    std::lock_guard<std::mutex> guard(lock);
    reports.insert(why);
    reported.notify_all();
  };
  for (unsigned i = 0; i < pool.size(); ++i) pool.post([] { throw std::bad_alloc(); }, report);
  pool.post([] { throw std::runtime_error("uszkodzony obraz"); }, report);
  pool.post([] { throw 42; });                                                      // nobody to tell
  pool.post([] { throw 1; }, [](const std::string &) { throw std::bad_alloc(); });  // nor here
  for (unsigned i = 0; i < pool.size() * 2; ++i) EXPECT_EQ(pool.submit([i] { return i; }).get(), i);
  std::unique_lock<std::mutex> guard(lock);
  reported.wait(guard, [&] { return reports.size() == pool.size() + 1; });
  EXPECT_EQ(reports.count("brak pamięci"), pool.size());
  EXPECT_EQ(reports.count("uszkodzony obraz"), 1u);
}

TEST(WorkerPoolTest, AListOfJobsRunsEachOnceStopsWhenCancelledAndPassesOnAFailure) {
  for (unsigned threads : {0u, 1u, 3u}) {
    WorkerPool pool(threads);
    std::vector<std::atomic<int>> runs(1000);
    size_t reported = 0;
    pool.forEach(
        runs.size(), [&](size_t i) { ++runs[i]; },
        [&](size_t done, size_t count) {
          EXPECT_EQ(done, reported + 1);
          EXPECT_EQ(count, runs.size());
          reported = done;
        });
    EXPECT_EQ(reported, runs.size()) << threads;
    for (const std::atomic<int> &run : runs) ASSERT_EQ(run, 1) << threads;

    std::atomic<bool> cancel{false};
    std::atomic<size_t> ran{0};
    pool.forEach(
        runs.size(), [&](size_t i) { ++ran, cancel = cancel || i == 10; }, {}, &cancel);
    EXPECT_LE(ran, 11u + threads) << threads;

    EXPECT_THROW(pool.forEach(100,
                              [](size_t i) {
                                if (i == 50) throw std::runtime_error("uszkodzony obraz");
                              }),
                 std::runtime_error);
  }
}

}  // namespace
