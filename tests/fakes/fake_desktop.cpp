// A recording fake of the desktop services.
#include "fakes/fake_desktop.h"

namespace fakedesktop {

namespace {
std::mutex &stateMutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace

Access::Access() : lock_(stateMutex()) {}

State &Access::state() {
  static State shared;
  return shared;
}

void reset() {
  Access access;
  access.get() = State();
}

std::string registryName(platform::RegistryRoot root, const std::string &keyPath) {
  return std::string(root == platform::RegistryRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + keyPath;
}

}  // namespace fakedesktop

namespace platform {

namespace {
bool recordShell(const fakedesktop::ShellCall &call) {
  std::function<void(const fakedesktop::ShellCall &)> hook;
  bool accepts;
  {
    fakedesktop::Access access;
    access->shellCalls.push_back(call);
    hook = access->onShell;
    accepts = access->shellAccepts;
  }
  if (hook) hook(call);
  return accepts;
}
}  // namespace

bool shellOpen(WindowHandle owner, const std::string &file, const std::string &parameters,
               const std::string &workingDirectory, ProcessHandle *started) {
  if (started != nullptr) *started = 0;
  return recordShell({false, owner, file, parameters, workingDirectory});
}

bool shellExecute(const std::string &file, const std::string &parameters, const std::string &workingDirectory,
                  ProcessHandle &process) {
  bool accepted = recordShell({true, 0, file, parameters, workingDirectory});
  process = accepted ? 4242 : 0;
  return accepted;
}

void abandonWaitsWhen(bool (*)()) {}

void waitForProcess(ProcessHandle process) {
  std::function<void()> hook;
  {
    fakedesktop::Access access;
    access->waitedFor.push_back(process);
    hook = access->onWait;
  }
  if (hook && process != 0) hook();
}

bool processHasEnded(ProcessHandle) { return true; }

void releaseProcess(ProcessHandle) {}

bool registryKeyExists(RegistryRoot root, const std::string &keyPath) {
  fakedesktop::Access access;
  return access->registryKeys.count(fakedesktop::registryName(root, keyPath)) > 0;
}

WindowHandle findTopLevelWindow(const std::string &title) {
  fakedesktop::Access access;
  access->windowSearches.push_back(title);
  return access->windowTitles.count(title) > 0 ? 0x1234 : 0;
}

WindowHandle foregroundWindow() {
  fakedesktop::Access access;
  return access->foreground;
}

// The fake has no display connection of its own to lose.
void handleDisplayLossOffMainThread(void (*)()) {}

Answer askYesNo(WindowHandle, const std::string &text, const std::string &title) {
  fakedesktop::Access access;
  access->questions.push_back({text, title});
  if (access->answers.empty()) return Answer::No;
  Answer answer = access->answers.front();
  access->answers.erase(access->answers.begin());
  return answer;
}

}  // namespace platform
