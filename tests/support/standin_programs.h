// Helpers for tests that run the stand-ins of the programs on the medium (the
// runtime installer and the diagnostic viewer) as the separate programs they are.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

namespace testsupport {

// A tool built beside the tests (build/tools/bin).
std::string toolPath(const std::string &name);

// A title no other test on the shared display uses.
std::string uniqueTitle(const std::string &base);

// A program this test started, with its standard output collected; ended by
// its process id when it is still running at the end.
class ChildProcess {
 public:
  // `environment` holds NAME=value settings added to ours.
  explicit ChildProcess(const std::vector<std::string> &arguments,
                        const std::vector<std::string> &environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  bool started() const { return started_; }
  bool running();
  // True once it has ended by exit(code).
  bool exitedWith(int code);
  // Ends it (when still running) and returns everything it wrote to standard output.
  std::string endAndReadOutput();

 private:
  void end();

  bool started_ = false;
  bool exited_ = false;
  GPid pid_ = 0;
  int status_ = 0;
  int output_ = -1;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const std::string &name, const std::string &value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
  ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

 private:
  std::string name_;
  bool hadValue_;
  std::string previous_;
};

// Writes a DICOMDIR at `path` listing one patient, Kowalski^Jan (P001), with
// one study of 2024-01-31 "CT glowy" and two series: 1 (CT, two images) and 2
// (SR, one image). False when it cannot be written.
bool writeSampleDicomdir(const std::string &path);

}  // namespace testsupport
