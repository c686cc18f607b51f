// Directory listings of the medium, sorted by name in byte order.
#include "catalogue/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fs = boost::filesystem;

DirectoryHandle &DirectoryHandle::operator=(DirectoryHandle &&other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = other.release();
  }
  return *this;
}

DirectoryHandle::~DirectoryHandle() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

int DirectoryHandle::release() {
  int descriptor = descriptor_;
  descriptor_ = -1;
  return descriptor;
}

DirectoryHandle openDirectoryAt(int parent, const char *name) {
  return DirectoryHandle(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
}

std::vector<ListedEntry> sortedListing(int directory, int *readError) {
  // The kernel's records are read straight into one buffer: a whole disc has
  // thousands of folders, and a directory stream would cost an allocation and
  // two more system calls for each.
  std::vector<ListedEntry> entries;
  alignas(dirent64) char buffer[16384];
  for (;;) {
    ssize_t length = ::getdents64(directory, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length < 0 && readError != nullptr) *readError = errno;
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const dirent64 *entry = reinterpret_cast<const dirent64 *>(buffer + offset);
      offset += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      entries.push_back({entry->d_name, entry->d_type});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const ListedEntry &a, const ListedEntry &b) { return a.name < b.name; });
  return entries;
}

std::vector<fs::path> sortedDirectoryEntries(const fs::path &directory) {
  std::vector<fs::path> paths;
  listSortedDirectory(directory, paths);
  return paths;
}

bool listSortedDirectory(const fs::path &directory, std::vector<fs::path> &paths, int *error) {
  paths.clear();
  DirectoryHandle handle = openDirectoryAt(AT_FDCWD, directory.c_str());
  int readError = handle ? 0 : errno;
  std::vector<ListedEntry> entries;
  if (handle) entries = sortedListing(handle.get(), &readError);
  if (error != nullptr) *error = readError;
  // A listing cut short by a failing medium is no listing.
  if (readError != 0) return false;
  paths.reserve(entries.size());
  for (const ListedEntry &entry : entries) paths.push_back(directory / entry.name);
  return true;
}
