// A temporary desktop for GIO: its own data and configuration folders, with
// the system's MIME database but none of its applications, and handlers named as defaults for chosen types.
// Meant for a child process (support/child_run.h), since GIO reads these
// folders once per process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class DesktopEnvironment {
 public:
  DesktopEnvironment();
  ~DesktopEnvironment();
  DesktopEnvironment(const DesktopEnvironment &) = delete;
  DesktopEnvironment &operator=(const DesktopEnvironment &) = delete;

  const std::string &root() const { return root_; }

  // Installs an application `name`.desktop running `command` (an Exec line)
  // and makes it the default for every type in `mimeTypes`.
  void addDefaultHandler(const std::string &name, const std::string &command,
                         const std::vector<std::string> &mimeTypes);

  // The variables that point a process at this desktop (and away from any
  // session bus, so nothing is auto-started).
  std::map<std::string, std::string> variables() const;

 private:
  std::string root_;
  std::string defaults_;
};

}  // namespace testsupport
