// The worker pool outlives a job that throws: the job is reported failed with
// what it threw, and the workers go on with the next jobs.
#include "catalogue/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

TEST(WorkerPoolTest, AJobThatThrowsIsReportedFailedAndEveryWorkerGoesOn) {
  WorkerPool &pool = WorkerPool::shared();
  std::mutex lock;
  std::condition_variable reported;
  std::vector<std::string> reports;
  auto report = [&](const std::string &why) {
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(why);
    reported.notify_all();
  };
  // More than there are workers, so that each one meets a throwing job.
  const unsigned jobs = pool.size() + 1;
  for (unsigned i = 0; i < jobs; ++i) pool.post([] { throw std::bad_alloc(); }, report);
  pool.post([] { throw std::runtime_error("uszkodzony obraz"); }, report);
  pool.post([] { throw 42; });  // without a report of its own
  pool.post([] { throw std::runtime_error("raport też"); }, [](const std::string &) { throw 1; });

  std::vector<std::future<int>> results;
  for (unsigned i = 0; i < pool.size() * 2; ++i) results.push_back(pool.submit([i] { return int(i); }));
  for (unsigned i = 0; i < results.size(); ++i) EXPECT_EQ(results[i].get(), int(i));

  std::unique_lock<std::mutex> guard(lock);
  reported.wait(guard, [&] { return reports.size() == jobs + 1; });
  EXPECT_EQ(std::count(reports.begin(), reports.end(), "brak pamięci"), jobs);
  EXPECT_EQ(std::count(reports.begin(), reports.end(), "uszkodzony obraz"), 1);
}

}  // namespace
