// The directory services the walks of the medium use: open directories,
// sorted listings, entry status with or without following links, resolved
// paths, the leading bytes of a file and the errors of a failing medium.
// Paths are UTF-8. Error codes are the system's own (errno, or a Windows error
// code), 0 for none; errorText tells them. posix/directories.cpp and
// windows/directories.cpp hold the two implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// An open directory, closed when dropped. On a POSIX system a descriptor, so
// that entries are looked up relative to it; on Windows its path, the folder
// having been found to be a directory when it was opened.
class DirectoryHandle {
 public:
  DirectoryHandle() = default;
  // Made by openDirectory and openDirectoryIn only.
  DirectoryHandle(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {}
  DirectoryHandle(DirectoryHandle &&other) noexcept
      : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)) {}
  DirectoryHandle &operator=(DirectoryHandle &&other) noexcept {
    if (this != &other) {
      close();
      descriptor_ = std::exchange(other.descriptor_, -1);
      path_ = std::move(other.path_);
    }
    return *this;
  }
  DirectoryHandle(const DirectoryHandle &) = delete;
  DirectoryHandle &operator=(const DirectoryHandle &) = delete;
  ~DirectoryHandle() { close(); }

  explicit operator bool() const { return descriptor_ >= 0; }
  // The descriptor (POSIX); a mark >= 0 on Windows; -1 when none is open.
  int descriptor() const { return descriptor_; }
  // The path or name it was opened by; on Windows the name joined to its
  // parent's path, by which its entries are found.
  const std::string &path() const { return path_; }

 private:
  // Lets go of what the system holds for it (each system's directories.cpp).
  void close();

  int descriptor_ = -1;
  std::string path_;
};

// Opens the directory `path` (relative to the current directory, or
// absolute). Never blocks, even when `path` is a link to a pipe. On failure
// the handle is empty and `error` (when given) receives the error code.
DirectoryHandle openDirectory(const std::string &path, int *error = nullptr);

// Opens the directory `name` of the directory `parent`; as openDirectory.
DirectoryHandle openDirectoryIn(const DirectoryHandle &parent, const std::string &name, int *error = nullptr);

// What an entry is. A listing records `unknown` where the file system keeps no
// type (ISO 9660 among them); a status never says `unknown`. On Windows every
// reparse point counts as a link.
enum class EntryType { directory, regularFile, link, unknown, other };

// One entry of a listing: its name and the type the directory itself records
// for it, which does not look through links.
struct ListedEntry {
  std::string name;
  EntryType type;
};

// The entries of an open directory ("." and ".." never among them) sorted by
// name byte by byte, so that the trees pair the same way on every file system.
// List a freshly opened directory: a handle is read through once. A read that
// fails ends the listing early and leaves its error code in `readError` when
// one is given.
std::vector<ListedEntry> sortedListing(const DirectoryHandle &directory, int *readError = nullptr);

// Which file an entry names, for telling directories seen before: device and
// inode, or volume serial and file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator<(const FileIdentity &other) const {
    return volume != other.volume ? volume < other.volume : file < other.file;
  }
};

struct EntryStatus {
  EntryType type = EntryType::other;
  std::uint64_t size = 0;
  FileIdentity identity;
};

enum class Links { follow, notFollowed };

// The status of the entry at `path`: of what it names (links followed), or of
// the entry itself. False on failure, with the error code in `error` when given.
bool entryStatus(const std::string &path, Links links, EntryStatus &status, int *error = nullptr);

// The same for the entry `name` of the directory `parent`.
bool entryStatusIn(const DirectoryHandle &parent, const std::string &name, Links links, EntryStatus &status,
                   int *error = nullptr);

// The status of an open directory itself.
bool directoryStatus(const DirectoryHandle &directory, EntryStatus &status, int *error = nullptr);

// `path` made absolute with every link in it resolved; empty when it cannot be
// (missing, a dangling link, a loop).
std::string resolvedPath(const std::string &path);

// Whether the resolved path `path` is `root` itself or lies below it; both as
// resolvedPath gives them. False for an empty root.
bool resolvedPathWithin(const std::string &path, const std::string &root);

// Reads up to `capacity` leading bytes of the regular file `path` into
// `bytes`, their count into `got`. Follows no link and never blocks on a pipe
// or device: a link, a directory or anything but a regular file is refused.
// Returns 0 or the error code.
int readLeadingBytes(const std::string &path, unsigned char *bytes, std::size_t capacity, std::size_t &got);

// Whether an error code is one only a failing medium gives: an I/O error, no
// device, no medium, a medium that cannot be read.
bool isMediumFailure(int error);

// The system's description of an error code, for traces and messages.
std::string errorText(int error);

// Makes `link` a link to the directory `target`. Returns 0 or the error code.
int linkToDirectory(const std::string &target, const std::string &link);

}  // namespace platform
