// A patient's job: its status file (JSON) in the output folder, and the
// making of its disc from the spool with the make-disc library.
#pragma once

#include "station_settings.h"

#include <atomic>
#include <string>
#include <vector>

namespace discstation {

struct JobStatus {
  std::string job;
  std::string patientId;
  std::string state;  // "received", "making", "made", "failed"
  int received = 0;   // objects whole in the spool
  std::string reason;
  std::string disc, image, summary;
  std::vector<std::string> events;  // one line per object refused, and why
};

// Writes OUT/JOB.json through a temporary file, so a reader sees the old or the new one.
bool writeStatus(const std::string &out, const JobStatus &status);
// Reads what writeStatus wrote (the fields the station needs again on restart).
bool readStatus(const std::string &out, const std::string &job, JobStatus &status);
// Adds a refusal line to the job's status file, making it when missing.
void addStatusEvent(const std::string &out, const std::string &job, const std::string &patientId,
                    const std::string &line);

// Makes the disc of the job whose objects are in `folder` (PATIENT/STUDY/*.dcm
// as the spool keeps them): OUT/JOB (the disc folder), OUT/JOB.iso, the
// summary line OUT/JOB.txt and the final status. The folder is removed after
// a made disc unless the settings keep it. A disc found made already (the
// station ended before removing the folder) is not made again.
JobStatus makeJob(const StationSettings &settings, const std::string &job, const std::string &folder,
                  const std::atomic<bool> *cancel);

}  // namespace discstation
