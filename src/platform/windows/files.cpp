// File services on Windows: copying into the working directory without
// overwriting, clearing the read-only attribute, the current directory and
// sleeping. Every path is widened to UTF-16 at the call.
#include "platform/platform.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <shellapi.h>

#include <zlib.h>
#include <boost/filesystem/path.hpp>

#include <algorithm>
#include <cctype>
#include <codecvt>
#include <locale>
#include <string>
#include <vector>

namespace platform {

namespace {

using windows::errorText;
using windows::OwnedHandle;
using windows::widen;

// Opens an existing file for reading only; folders, pipes and devices are
// refused by the caller from the handle's type.
HANDLE openForReading(const std::wstring &path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool isRegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string lowerExtension(const std::string &path) {
  size_t slash = path.find_last_of("\\/");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// The types the shell runs rather than hands to a viewer.
bool hasProgramExtension(const std::string &path) {
  static const char *const kinds[] = {".exe", ".com", ".bat", ".cmd", ".scr", ".pif", ".msi",      ".lnk",
                                      ".cpl", ".hta", ".js",  ".jse", ".vbs", ".vbe", ".wsf",      ".wsh",
                                      ".ps1", ".msc", ".url", ".reg", ".inf", ".jar", ".appref-ms"};
  const std::string extension = lowerExtension(path);
  for (const char *kind : kinds)
    if (extension == kind) return true;
  return false;
}

// The CRC-32 of a whole open file and its length; false on a read error.
bool summed(HANDLE file, unsigned long &sum, std::uint64_t &length) {
  std::vector<unsigned char> buffer(256 * 1024);
  sum = crc32(0, nullptr, 0);
  length = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    sum = crc32(sum, buffer.data(), got);
    length += got;
  }
}

}  // namespace

// The copy is one system call here, into a partial name beside the target;
// source and copy are then read and summed, and the copy renamed into place.
// `proceed` is asked once, with the whole size.
bool copyFileNoOverwrite(const std::string &source, const std::string &target,
                         const std::function<bool(std::uint64_t copied)> &proceed, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error != nullptr) *error = why;
    return false;
  };
  std::wstring from, to;
  if (!widen(source, from) || !widen(target, to) || from.empty() || to.empty())
    return fail(errorText(ERROR_INVALID_NAME));
  DWORD attributes = GetFileAttributesW(from.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fail(errorText(GetLastError()));
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return fail("to nie jest zwykły plik");
  if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) return fail(errorText(ERROR_FILE_EXISTS));
  const std::wstring partial = to + L".partial-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetCurrentThreadId());
  // Fail if the target exists, allow a decrypted target.
  if (CopyFileExW(from.c_str(), partial.c_str(), nullptr, nullptr, nullptr,
                  COPY_FILE_FAIL_IF_EXISTS | COPY_FILE_ALLOW_DECRYPTED_DESTINATION) == 0)
    return fail(errorText(GetLastError()));
  auto discard = [&](const std::string &why) {
    // The copy keeps the source's read-only attribute, which DeleteFileW refuses.
    SetFileAttributesW(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(partial.c_str());
    return fail(why);
  };
  unsigned long sourceSum = 0, copySum = 0;
  std::uint64_t sourceLength = 0, copyLength = 0;
  {
    OwnedHandle in(openForReading(from)), copy(openForReading(partial));
    if (in.get() == INVALID_HANDLE_VALUE || copy.get() == INVALID_HANDLE_VALUE ||
        !summed(in.get(), sourceSum, sourceLength) || !summed(copy.get(), copySum, copyLength))
      return discard(errorText(GetLastError()));
  }
  if (sourceLength != copyLength || sourceSum != copySum) return discard("kopia nie zgadza się z oryginałem");
  if (proceed && !proceed(copyLength)) return discard("kopiowanie przerwano");
  if (!MoveFileExW(partial.c_str(), to.c_str(), 0)) return discard(errorText(GetLastError()));
  return true;
}

bool readRegularFile(const std::string &path, size_t maxBytes, std::string &content, std::string *error) {
  content.clear();
  auto fail = [&](const std::string &reason) {
    if (error != nullptr) *error = path + ": " + reason;
    content.clear();
    return false;
  };
  std::wstring widePath;
  if (!widen(path, widePath) || widePath.empty()) return fail(errorText(ERROR_INVALID_NAME));
  DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return fail("to nie jest zwykły plik");
  OwnedHandle in(openForReading(widePath));
  if (in.get() == INVALID_HANDLE_VALUE) return fail(errorText(GetLastError()));
  if (!isRegularFile(in.get())) return fail("to nie jest zwykły plik");
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in.get(), &size)) return fail(errorText(GetLastError()));
  if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return fail("plik jest zbyt duży");
  content.reserve(static_cast<size_t>(size.QuadPart));
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return fail(errorText(GetLastError()));
    if (got == 0) return true;
    // A file that grows while it is read is held to the same limit.
    if (content.size() + got > maxBytes) return fail("plik jest zbyt duży");
    content.append(buffer.data(), got);
  }
}

bool isProgramFile(const std::string &path) {
  std::wstring widePath;
  if (!widen(path, widePath) || widePath.empty()) return false;
  OwnedHandle in(openForReading(widePath));
  if (in.get() == INVALID_HANDLE_VALUE || !isRegularFile(in.get())) return false;
  if (hasProgramExtension(path)) return true;
  // An executable image under another name still runs when handed to the loader.
  char header[2] = {0, 0};
  DWORD got = 0;
  return ReadFile(in.get(), header, sizeof header, &got, nullptr) && got == 2 && header[0] == 'M' &&
         header[1] == 'Z';
}

int clearReadOnly(const std::string &path) {
  std::wstring widePath;
  if (!widen(path, widePath) || widePath.empty()) return ERROR_INVALID_NAME;
  DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return static_cast<int>(GetLastError());
  // A link is never followed to change what it points at.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ERROR_CANT_ACCESS_FILE;
  if (!SetFileAttributesW(widePath.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
    return static_cast<int>(GetLastError());
  return 0;
}

void prepareProcess() {
  // Boost converts narrow paths with the system's code page unless told
  // otherwise; Polish names on a disc would not survive it.
  boost::filesystem::path::imbue(std::locale(std::locale::classic(), new std::codecvt_utf8_utf16<wchar_t>()));
}

std::string quotedArgument(const std::string &argument) {
  // As the C runtime splits a command line: backslashes are literal except
  // before a quote, where they are doubled and the quote escaped.
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::vector<std::string> commandLineArguments(int argc, char **argv) {
  int count = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(windows::narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string currentDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), &buffer[0]);
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return windows::narrow(buffer);
    }
    buffer.assign(length, L'\0');
  }
}

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace platform
