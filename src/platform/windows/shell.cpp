// Shell "open" on Windows: the shell decides from the file's type whether it
// starts a program or hands a document or address to its associated program.
// Called on the main thread and on worker threads; nothing here touches widgets.
#include "platform/platform.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace platform {

namespace {

using windows::widen;

bool hasWebScheme(const std::string &file) {
  return _strnicmp(file.c_str(), "http://", 7) == 0 || _strnicmp(file.c_str(), "https://", 8) == 0;
}

bool isAbsolute(const std::string &path) {
  return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
         (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'));
}

// A relative file is taken from the working directory, as on the other
// systems; the shell itself would take it from the process's current one.
std::string resolvePath(const std::string &file, const std::string &workingDirectory) {
  if (hasWebScheme(file) || isAbsolute(file) || workingDirectory.empty()) return file;
  const char last = workingDirectory.back();
  return workingDirectory + (last == '\\' || last == '/' ? "" : "\\") + file;
}

// The COM apartment some shell handlers need, for the calling thread; left as
// the thread had it when it was already set up.
class ComForThisCall {
 public:
  ComForThisCall()
      : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComForThisCall() {
    if (initialised_) CoUninitialize();
  }
  ComForThisCall(const ComForThisCall &) = delete;
  ComForThisCall &operator=(const ComForThisCall &) = delete;

 private:
  bool initialised_;
};

struct WideRequest {
  std::wstring file;
  std::wstring parameters;
  std::wstring directory;
};

bool widenRequest(const std::string &file, const std::string &parameters, const std::string &workingDirectory,
                  WideRequest &request) {
  if (file.empty()) return false;
  return widen(resolvePath(file, workingDirectory), request.file) && widen(parameters, request.parameters) &&
         widen(workingDirectory, request.directory);
}

const wchar_t *orNull(const std::wstring &text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

bool shellOpen(WindowHandle owner, const std::string &file, const std::string &parameters,
               const std::string &workingDirectory, ProcessHandle *started) {
  if (started != nullptr) *started = 0;
  WideRequest request;
  if (!widenRequest(file, parameters, workingDirectory, request)) return false;
  ComForThisCall com;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = started != nullptr ? SEE_MASK_NOCLOSEPROCESS : 0;
  info.hwnd = reinterpret_cast<HWND>(owner);
  info.lpVerb = L"open";
  info.lpFile = request.file.c_str();
  info.lpParameters = orNull(request.parameters);
  info.lpDirectory = orNull(request.directory);
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  // No handle when a document went to a program that was already running.
  if (started != nullptr) *started = reinterpret_cast<ProcessHandle>(info.hProcess);
  return true;
}

bool processHasEnded(ProcessHandle process) {
  return process == 0 || WaitForSingleObject(reinterpret_cast<HANDLE>(process), 0) == WAIT_OBJECT_0;
}

void releaseProcess(ProcessHandle process) {
  if (process != 0) CloseHandle(reinterpret_cast<HANDLE>(process));
}

// The Windows shell answers without a bus to wait for.
void abandonWaitsWhen(bool (*)()) {}

bool shellExecute(const std::string &file, const std::string &parameters, const std::string &workingDirectory,
                  ProcessHandle &process) {
  process = 0;
  WideRequest request;
  if (!widenRequest(file, parameters, workingDirectory, request)) return false;
  ComForThisCall com;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // A failure is the caller's to report, in the program's own words: a
  // system error box would also hold a worker thread until it is closed.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = request.file.c_str();
  info.lpParameters = orNull(request.parameters);
  info.lpDirectory = orNull(request.directory);
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  // No handle when the document went to a program that was already running.
  process = reinterpret_cast<ProcessHandle>(info.hProcess);
  return true;
}

void waitForProcess(ProcessHandle process) {
  if (process == 0) return;
  HANDLE handle = reinterpret_cast<HANDLE>(process);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

}  // namespace platform
