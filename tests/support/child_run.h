// Runs one test case of the current test binary again in a child process with
// extra environment variables: for libraries that read the environment once
// per process (GIO's desktop application lookups).
#pragma once

#include <map>
#include <string>

namespace testsupport {

struct ChildResult {
  int exitStatus = -1;  // the exit code, -1 when it did not exit normally
  std::string output;   // standard output and error, for failure messages
};

// Runs the test case `suite.name` of this binary with `environment` added to
// ours (an empty value removes the variable), and the marker variable that
// childRunRole() reads set to `role`. Waits for it to end.
ChildResult runTestInChild(const std::string &testName, const std::string &role,
                           const std::map<std::string, std::string> &environment);

// The role given to this process by runTestInChild, empty in a normal run.
std::string childRunRole();

}  // namespace testsupport
