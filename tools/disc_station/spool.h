// The station's spool: every received object as a file of its own, grouped as
// PATIENT/STUDY/SOP.dcm, the patient's folder named by the hex of its ID.
// Folders are the user's alone (0700), files too (0600). An object is written
// under .incoming, flushed, and renamed into place, so a file in a patient's
// folder is always whole. A job taken for making moves to .making/JOB, so that
// what arrives meanwhile starts the patient's next job.
#pragma once

#include <string>
#include <vector>

namespace discstation {

class Spool {
 public:
  explicit Spool(std::string root) : root_(std::move(root)) {}
  // Makes the folders. False with the reason in `error`.
  bool open(std::string *error);
  const std::string &root() const { return root_; }
  // A fresh name under .incoming for the next object.
  std::string incomingName();
  // Moves `incoming`, flushed by its writer, into its patient's study and
  // flushes the folders that changed; a new patient folder gets `jobForNew`
  // as its job name. Returns the patient's job name.
  bool place(const std::string &incoming, const std::string &patientId, const std::string &studyUid,
             const std::string &sopUid, const std::string &jobForNew, std::string *job, std::string *error);
  // The patient IDs with a folder waiting, and the job name of one.
  std::vector<std::string> waitingPatients() const;
  std::string jobOf(const std::string &patientId) const;
  // The studies (their folder names, the UIDs) waiting for a patient.
  std::vector<std::string> studiesOf(const std::string &patientId) const;
  // Moves the patient's folder to .making/JOB; returns that folder, empty on failure.
  std::string takeForMaking(const std::string &patientId);
  // Jobs under .making (left by a run that ended while making them).
  std::vector<std::string> jobsBeingMade() const;
  std::string makingFolder(const std::string &job) const { return root_ + "/.making/" + job; }
  // Removes the partial objects under .incoming.
  void clearIncoming();

  static std::string hex(const std::string &text);
  static std::string unhex(const std::string &text);

 private:
  std::string root_;
  unsigned long counter_ = 0;
};

// Flushes a file or folder to disk. False on failure.
bool syncPath(const std::string &path);

}  // namespace discstation
