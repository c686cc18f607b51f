// A job that throws is reported failed with what it threw, and every worker
// goes on with the next jobs.
#include "catalogue/worker_pool.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>

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

}  // namespace
