// Running another program to its end while the caller may be interrupted: the
// disc tools start xorriso and each other, and a signal must end the whole
// chain at once, leaving nothing half-written.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace discimage {

enum class ChildEnd { succeeded, failed, cancelled, notStarted };

struct ChildSettings {
  std::vector<std::string> arguments;  // the program (looked up in PATH) and its arguments
  std::vector<std::pair<std::string, std::string>> environment;  // added to ours
  const std::atomic<bool> *cancel = nullptr;  // raised: the child is sent `stopSignal`, then awaited
  int stopSignal = 15;                        // SIGTERM: a child that cleans up after itself
  bool privateFiles = false;                  // the child creates its files for its owner alone
};

// Runs the program, its standard output discarded and its standard error
// collected into `messages` (the first 64 KiB). A raised `cancel` is seen
// within a tenth of a second.
ChildEnd runChild(const ChildSettings &settings, std::string *messages);

}  // namespace discimage
