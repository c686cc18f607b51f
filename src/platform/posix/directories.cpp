// Directory services over descriptors: entries are opened and examined
// relative to their directory's descriptor, so a whole disc is walked without
// resolving every path from the root again.
#include "platform/directories.h"

#include <glib.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

EntryType typeOfListed(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return EntryType::directory;
    case DT_REG:
      return EntryType::regularFile;
    case DT_LNK:
      return EntryType::link;
    case DT_UNKNOWN:
      return EntryType::unknown;
    default:
      return EntryType::other;
  }
}

EntryType typeOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return EntryType::directory;
  if (S_ISREG(mode)) return EntryType::regularFile;
  if (S_ISLNK(mode)) return EntryType::link;
  return EntryType::other;
}

bool statusOf(int result, const struct stat &info, EntryStatus &status, int *error) {
  if (result != 0) {
    if (error != nullptr) *error = errno;
    return false;
  }
  status.type = typeOfMode(info.st_mode);
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

DirectoryHandle openAt(int parent, const std::string &name, int *error) {
  int descriptor = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0 && error != nullptr) *error = errno;
  return DirectoryHandle(descriptor, name);
}

}  // namespace

void DirectoryHandle::close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

DirectoryHandle openDirectory(const std::string &path, int *error) { return openAt(AT_FDCWD, path, error); }

DirectoryHandle openDirectoryIn(const DirectoryHandle &parent, const std::string &name, int *error) {
  return openAt(parent.descriptor(), name, error);
}

std::vector<ListedEntry> sortedListing(const DirectoryHandle &directory, int *readError) {
  // The kernel's records are read straight into one buffer: a whole disc has
  // thousands of folders, and a directory stream would cost an allocation and
  // two more system calls for each.
  std::vector<ListedEntry> entries;
  alignas(dirent64) char buffer[16384];
  for (;;) {
    ssize_t length = ::getdents64(directory.descriptor(), buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length < 0 && readError != nullptr) *readError = errno;
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const dirent64 *entry = reinterpret_cast<const dirent64 *>(buffer + offset);
      offset += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      entries.push_back({entry->d_name, typeOfListed(entry->d_type)});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const ListedEntry &a, const ListedEntry &b) { return a.name < b.name; });
  return entries;
}

bool entryStatus(const std::string &path, Links links, EntryStatus &status, int *error) {
  struct stat info;
  int result = links == Links::follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  return statusOf(result, info, status, error);
}

bool entryStatusIn(const DirectoryHandle &parent, const std::string &name, Links links, EntryStatus &status,
                   int *error) {
  struct stat info;
  int result =
      ::fstatat(parent.descriptor(), name.c_str(), &info, links == Links::follow ? 0 : AT_SYMLINK_NOFOLLOW);
  return statusOf(result, info, status, error);
}

bool directoryStatus(const DirectoryHandle &directory, EntryStatus &status, int *error) {
  struct stat info;
  return statusOf(::fstat(directory.descriptor(), &info), info, status, error);
}

std::string resolvedPath(const std::string &path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), std::free);
  return real ? std::string(real.get()) : std::string();
}

bool resolvedPathWithin(const std::string &path, const std::string &root) {
  if (root.empty() || path.empty()) return false;
  if (root == "/" || path == root) return true;
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

int readLeadingBytes(const std::string &path, unsigned char *bytes, std::size_t capacity, std::size_t &got) {
  got = 0;
  int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) return errno;
  int error = 0;
  struct stat status;
  if (::fstat(descriptor, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  } else {
    while (got < capacity) {
      ssize_t count = ::read(descriptor, bytes + got, capacity - got);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        error = errno;
        break;
      }
      if (count == 0) break;
      got += static_cast<std::size_t>(count);
    }
  }
  ::close(descriptor);
  return error;
}

bool isMediumFailure(int error) {
  return error == EIO || error == ENODEV || error == ENXIO || error == ENOMEDIUM || error == EMEDIUMTYPE;
}

std::string errorText(int error) { return g_strerror(error); }

int linkToDirectory(const std::string &target, const std::string &link) {
  return ::symlink(target.c_str(), link.c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
