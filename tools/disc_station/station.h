// The disc station's service: a DICOM storage service writing every object
// into the spool before it answers, and a maker that turns each patient whose
// objects stopped coming for the idle time into a disc.
#pragma once

#include "station_settings.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace discstation {

class Station {
 public:
  explicit Station(StationSettings settings);
  ~Station();
  Station(const Station &) = delete;
  Station &operator=(const Station &) = delete;

  // Opens the spool and the port, resumes what the spool holds, and serves
  // until stop(). False with the reason in `error` when it cannot start.
  bool run(std::string *error);
  // Safe from any thread and from a signal handler: run() returns within a second or two.
  void stop();
  // Every waiting patient's job counts as complete now. Safe from a signal handler.
  void makeNow();
  // Every waiting patient's job counts as complete now; returns once all are
  // made or failed, false when the station was stopped first.
  bool makeAllAndWait();
  // Whether the port is open (run() has started serving).
  bool listening() const { return listening_.load(); }
  // Called with each finished job's summary or failure line.
  std::function<void(const std::string &)> report;
  // Called once the port is open.
  std::function<void()> listeningNow;
  // Jobs made and failed by this run.
  int madeJobs() const;
  int failedJobs() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::atomic<bool> listening_{false};
};

}  // namespace discstation
