// Directory services on Windows, over the wide-character calls. An open
// directory is its path, found to be a directory when it was opened; entries
// are examined by their whole path. Every reparse point counts as a link.
#include "platform/directories.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

namespace {

using windows::narrow;
using windows::OwnedHandle;
using windows::widen;

// An open directory's mark; Windows keeps nothing open for it.
const int kOpened = 0;

bool wideName(const std::string &path, std::wstring &wide) { return widen(path, wide) && !wide.empty(); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string joined(const std::string &directory, const std::string &name) {
  if (directory.empty() || isSeparator(directory.back())) return directory + name;
  return directory + "\\" + name;
}

// Opens the entry at `path` for its attributes alone; a link itself when
// `links` says so. Folders open too (backup semantics).
HANDLE openForAttributes(const std::wstring &path, Links links) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (links == Links::notFollowed ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                     nullptr);
}

EntryType typeOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryType::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryType::other;
  return EntryType::regularFile;
}

bool fail(int *error, DWORD code) {
  if (error != nullptr) *error = static_cast<int>(code);
  return false;
}

// Closes a directory search when dropped.
class Search {
 public:
  explicit Search(HANDLE handle) : handle_(handle) {}
  ~Search() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  Search(const Search &) = delete;
  Search &operator=(const Search &) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The fixed part of a mount point's reparse data, before its two names.
struct MountPointHeader {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
};

// Makes the empty folder `link` a junction to the folder `target`: unlike a
// symbolic link, a junction needs no privilege.
DWORD makeJunction(const std::wstring &target, const std::wstring &link) {
  DWORD length = GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
  if (length == 0) return GetLastError();
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(target.c_str(), length, &full[0], nullptr);
  if (length == 0 || length >= full.size()) return GetLastError();
  full.resize(length);
  const std::wstring substitute = L"\\??\\" + full;
  const size_t substituteBytes = substitute.size() * sizeof(wchar_t);
  const size_t printBytes = full.size() * sizeof(wchar_t);
  const size_t namesBytes = substituteBytes + printBytes + 2 * sizeof(wchar_t);
  if (namesBytes + 8 > MAXIMUM_REPARSE_DATA_BUFFER_SIZE - 8) return ERROR_FILENAME_EXCED_RANGE;
  std::vector<BYTE> buffer(sizeof(MountPointHeader) + namesBytes, 0);
  MountPointHeader header = {};
  header.tag = IO_REPARSE_TAG_MOUNT_POINT;
  header.dataLength = static_cast<WORD>(8 + namesBytes);
  header.substituteLength = static_cast<WORD>(substituteBytes);
  header.printOffset = static_cast<WORD>(substituteBytes + sizeof(wchar_t));
  header.printLength = static_cast<WORD>(printBytes);
  std::memcpy(buffer.data(), &header, sizeof header);
  std::memcpy(buffer.data() + sizeof header, substitute.data(), substituteBytes);
  std::memcpy(buffer.data() + sizeof header + header.printOffset, full.data(), printBytes);

  if (!CreateDirectoryW(link.c_str(), nullptr)) return GetLastError();
  DWORD result = ERROR_SUCCESS;
  {
    OwnedHandle folder(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD returned = 0;
    if (folder.get() == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                         static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr))
      result = GetLastError();
  }
  if (result != ERROR_SUCCESS) RemoveDirectoryW(link.c_str());
  return result;
}

}  // namespace

// Nothing is held open: the handle is its path.
void DirectoryHandle::close() { descriptor_ = -1; }

DirectoryHandle openDirectory(const std::string &path, int *error) {
  EntryStatus status;
  if (!entryStatus(path, Links::follow, status, error)) return DirectoryHandle();
  if (status.type == EntryType::directory) return DirectoryHandle(kOpened, path);
  fail(error, ERROR_DIRECTORY);
  return DirectoryHandle();
}

DirectoryHandle openDirectoryIn(const DirectoryHandle &parent, const std::string &name, int *error) {
  if (!parent) {
    if (error != nullptr) *error = ERROR_INVALID_HANDLE;
    return DirectoryHandle();
  }
  return openDirectory(joined(parent.path(), name), error);
}

std::vector<ListedEntry> sortedListing(const DirectoryHandle &directory, int *readError) {
  std::vector<ListedEntry> entries;
  std::wstring pattern;
  if (!directory || !wideName(joined(directory.path(), "*"), pattern)) {
    if (readError != nullptr) *readError = ERROR_INVALID_HANDLE;
    return entries;
  }
  WIN32_FIND_DATAW found;
  Search search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH));
  if (search.get() == INVALID_HANDLE_VALUE) {
    // The root of an empty drive has no "." to find.
    DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_NO_MORE_FILES && readError != nullptr)
      *readError = static_cast<int>(code);
    return entries;
  }
  do {
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
    entries.push_back({narrow(found.cFileName), typeOfAttributes(found.dwFileAttributes)});
  } while (FindNextFileW(search.get(), &found));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES && readError != nullptr) *readError = static_cast<int>(code);
  std::sort(entries.begin(), entries.end(),
            [](const ListedEntry &a, const ListedEntry &b) { return a.name < b.name; });
  return entries;
}

bool entryStatus(const std::string &path, Links links, EntryStatus &status, int *error) {
  std::wstring wide;
  if (!wideName(path, wide)) return fail(error, ERROR_INVALID_NAME);
  OwnedHandle entry(openForAttributes(wide, links));
  if (entry.get() == INVALID_HANDLE_VALUE) return fail(error, GetLastError());
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(entry.get()) != FILE_TYPE_DISK) {
    // A device reached by a reserved name ("CON", "NUL"): nothing to walk or read.
    status = EntryStatus();
    return true;
  }
  if (!GetFileInformationByHandle(entry.get(), &information)) return fail(error, GetLastError());
  DWORD attributes = information.dwFileAttributes;
  // Followed, a reparse point that opened is what it leads to.
  if (links == Links::follow) attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  status.type = typeOfAttributes(attributes);
  status.size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  status.identity = {
      information.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
  return true;
}

bool entryStatusIn(const DirectoryHandle &parent, const std::string &name, Links links, EntryStatus &status,
                   int *error) {
  if (!parent) return fail(error, ERROR_INVALID_HANDLE);
  return entryStatus(joined(parent.path(), name), links, status, error);
}

bool directoryStatus(const DirectoryHandle &directory, EntryStatus &status, int *error) {
  if (!directory) return fail(error, ERROR_INVALID_HANDLE);
  return entryStatus(directory.path(), Links::follow, status, error);
}

std::string resolvedPath(const std::string &path) {
  std::wstring wide;
  if (!wideName(path, wide)) return std::string();
  OwnedHandle entry(openForAttributes(wide, Links::follow));
  if (entry.get() == INVALID_HANDLE_VALUE) return std::string();
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetFinalPathNameByHandleW(entry.get(), &final[0], static_cast<DWORD>(final.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::string();
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.assign(length, L'\0');
  }
  // "\\?\C:\..." names the drive path, "\\?\UNC\server\..." the share.
  if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0) return narrow(L"\\\\" + final.substr(8));
  if (final.compare(0, 4, L"\\\\?\\") == 0) return narrow(final.substr(4));
  return narrow(final);
}

bool resolvedPathWithin(const std::string &path, const std::string &root) {
  if (root.empty() || path.empty()) return false;
  std::string target = path, base = root;
  std::replace(target.begin(), target.end(), '/', '\\');
  std::replace(base.begin(), base.end(), '/', '\\');
  if (target == base) return true;
  // A drive's root ends with its separator ("D:\").
  if (base.back() == '\\') return target.size() > base.size() && target.compare(0, base.size(), base) == 0;
  return target.size() > base.size() && target.compare(0, base.size(), base) == 0 &&
         target[base.size()] == '\\';
}

int readLeadingBytes(const std::string &path, unsigned char *bytes, std::size_t capacity, std::size_t &got) {
  got = 0;
  std::wstring wide;
  if (!wideName(path, wide)) return ERROR_INVALID_NAME;
  // A folder does not open without backup semantics: access is denied.
  OwnedHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return ERROR_INVALID_FUNCTION;
  if (!GetFileInformationByHandle(file.get(), &information)) return static_cast<int>(GetLastError());
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return ERROR_CANT_RESOLVE_FILENAME;
  if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
  while (got < capacity) {
    DWORD count = 0;
    if (!ReadFile(file.get(), bytes + got,
                  static_cast<DWORD>(std::min<std::size_t>(capacity - got, 1u << 30)), &count, nullptr))
      return static_cast<int>(GetLastError());
    if (count == 0) break;
    got += count;
  }
  return 0;
}

bool isMediumFailure(int error) {
  switch (static_cast<DWORD>(error)) {
    case ERROR_NOT_READY:
    case ERROR_BAD_UNIT:
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_NOT_DOS_DISK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_WRONG_DISK:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_UNRECOGNIZED_VOLUME:
    case ERROR_FILE_INVALID:
    case ERROR_MEDIA_CHANGED:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_UNRECOGNIZED_MEDIA:
      return true;
    default:
      return false;
  }
}

std::string errorText(int error) { return windows::errorText(static_cast<unsigned long>(error)); }

int linkToDirectory(const std::string &target, const std::string &link) {
  std::wstring wideTarget, wideLink;
  if (!wideName(target, wideTarget) || !wideName(link, wideLink)) return ERROR_INVALID_NAME;
  // Some systems report a symbolic link made that is not there: it must be seen.
  if (CreateSymbolicLinkW(wideLink.c_str(), wideTarget.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      GetFileAttributesW(wideLink.c_str()) != INVALID_FILE_ATTRIBUTES)
    return 0;
  return static_cast<int>(makeJunction(wideTarget, wideLink));
}

}  // namespace platform
