// The temporary folder, the working directory private to the user and its
// removal when the session or the console ends, on Windows.
#include "platform/platform.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <sddl.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

struct LocalDeleter {
  void operator()(void *memory) const { LocalFree(memory); }
};

// The security identifier of the user running the program, as text; empty
// when it cannot be read.
std::wstring currentUserSid() {
  windows::OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return std::wstring();
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::wstring();
  wchar_t *text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid, &text))
    return std::wstring();
  std::unique_ptr<void, LocalDeleter> owned(text);
  return std::wstring(text);
}

constexpr wchar_t kRunMarker[] = L"\\.velmora-run";
// Process-wide: held open for the whole run so that another run sees this one.
HANDLE runMarker = INVALID_HANDLE_VALUE;

// Process-wide: the console handler's thread and the session window's procedure
// reach them without data from us.
std::atomic<void (*)(bool)> endRequested{nullptr};
std::atomic<bool> endDone{false};

// Whichever of the ends comes first is handled, once.
void endOnce() {
  void (*end)(bool) = endRequested.load();
  if (end != nullptr && !endDone.exchange(true)) end(true);
}

// Runs on a thread of its own; the process ends when it returns.
BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      endOnce();
      break;
    default:
      break;
  }
  return FALSE;
}

const wchar_t kSessionWindowClass[] = L"VelmoraBrelantorSession";

// The system ends the process soon after WM_ENDSESSION returns: the cleanup
// happens here, not later on the main loop.
LRESULT CALLBACK sessionWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return TRUE;
  if (message == WM_ENDSESSION) {
    if (wParam) endOnce();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Removes `path` and what it holds, clearing the read-only attribute that
// DeleteFileW and RemoveDirectoryW refuse; a link (a reparse point) is removed
// as it is, never entered.
bool removeTree(const std::wstring &path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if ((attributes & FILE_ATTRIBUTE_READONLY) && !link)
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != 0;
  bool emptied = true;
  if (!link) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") emptied = removeTree(path + L"\\" + name) && emptied;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  return RemoveDirectoryW(path.c_str()) != 0 && emptied;
}

}  // namespace

std::string temporaryFolder() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), &buffer[0]);
  if (length > buffer.size()) {
    buffer.assign(length, L'\0');
    length = GetTempPathW(static_cast<DWORD>(buffer.size()), &buffer[0]);
  }
  if (length == 0 || length > buffer.size()) return std::string();
  buffer.resize(length);
  if (buffer.size() > 3 && (buffer.back() == L'\\' || buffer.back() == L'/')) buffer.pop_back();
  return windows::narrow(buffer);
}

std::string privateRuntimeFolder() { return std::string(); }

DirectoryCreation createPrivateDirectory(const std::string &path) {
  std::wstring widePath;
  errno = EINVAL;
  if (!windows::widen(path, widePath) || widePath.empty()) return DirectoryCreation::Failed;
  errno = EACCES;
  const std::wstring user = currentUserSid();
  if (user.empty()) return DirectoryCreation::Failed;
  // A protected list with one entry: full access for the user, passed on to
  // everything created inside; nothing is inherited from the folder above.
  const std::wstring descriptorText = L"D:P(A;OICI;FA;;;" + user + L")";
  PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptorText.c_str(), SDDL_REVISION_1,
                                                            &rawDescriptor, nullptr))
    return DirectoryCreation::Failed;
  std::unique_ptr<void, LocalDeleter> descriptor(rawDescriptor);
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.get();
  attributes.bInheritHandle = FALSE;
  if (CreateDirectoryW(widePath.c_str(), &attributes)) return DirectoryCreation::Created;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return DirectoryCreation::Exists;
  errno = error == ERROR_ACCESS_DENIED ? EACCES : error == ERROR_DISK_FULL ? ENOSPC : EIO;
  return DirectoryCreation::Failed;
}

bool holdRunMarker(const std::string &directory) {
  std::wstring wide;
  if (!windows::widen(directory, wide)) return false;
  // Opened without sharing for as long as the run lives: no other run can
  // open it, which tells them this directory is in use.
  HANDLE marker = CreateFileW((wide + kRunMarker).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return false;
  releaseRunMarker();
  runMarker = marker;
  return true;
}

void releaseRunMarker() {
  if (runMarker != INVALID_HANDLE_VALUE) CloseHandle(runMarker);
  runMarker = INVALID_HANDLE_VALUE;
}

bool removeDirectoryTree(const std::string &directory) {
  std::wstring wide;
  if (!windows::widen(directory, wide) || wide.empty()) return false;
  return removeTree(wide);
}

bool abandonedRunDirectory(const std::string &directory) {
  std::wstring wide;
  if (!windows::widen(directory, wide)) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // The directory's list lets only its user in; a live run holds the marker
  // unshared.
  windows::OwnedHandle marker(CreateFileW((wide + kRunMarker).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return marker.get() != INVALID_HANDLE_VALUE && marker.get() != nullptr;
}

void onEndRequest(void (*end)(bool immediately)) {
  endRequested = end;
  endDone = false;
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  // A hidden top-level window of the main thread, whose messages the main
  // loop dispatches, receives the end of the desktop session.
  static HWND sessionWindow = nullptr;
  if (sessionWindow != nullptr) return;
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = sessionWindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kSessionWindowClass;
  RegisterClassExW(&windowClass);
  sessionWindow = CreateWindowExW(0, kSessionWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
}

}  // namespace platform
