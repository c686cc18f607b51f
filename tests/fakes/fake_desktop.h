// A recording fake of the desktop services (shell, process wait, registry,
// window search, foreground window, question box). Linked into the faked test
// binary in place of the real ones. Safe to call from worker threads.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace fakedesktop {

struct ShellCall {
  bool withRecord;  // shellExecute (true) or shellOpen (false)
  platform::WindowHandle owner;
  std::string file;
  std::string parameters;
  std::string workingDirectory;
};

struct Question {
  std::string text;
  std::string title;
};

struct State {
  // Recorded calls, in order.
  std::vector<ShellCall> shellCalls;
  std::vector<Question> questions;
  std::vector<platform::ProcessHandle> waitedFor;
  std::vector<std::string> windowSearches;

  // Scripted behaviour.
  bool shellAccepts = true;
  std::vector<platform::Answer> answers;  // consumed in order; No when exhausted
  std::set<std::string> registryKeys;     // "HKCU\\..." or "HKLM\\..."
  std::set<std::string> windowTitles;     // titles that findTopLevelWindow finds
  platform::WindowHandle foreground = 0;
  // Runs inside waitForProcess (for example to register a key as an installer would).
  std::function<void()> onWait;
  // Runs inside shellOpen/shellExecute after recording.
  std::function<void(const ShellCall &)> onShell;
};

// Locks the shared fake state for reading or changing it.
class Access {
 public:
  Access();
  State *operator->() { return &state(); }
  State &get() { return state(); }

 private:
  static State &state();
  std::lock_guard<std::mutex> lock_;
};

// Clears every record and script.
void reset();

// Key name as stored in State::registryKeys.
std::string registryName(platform::RegistryRoot root, const std::string &keyPath);

}  // namespace fakedesktop
