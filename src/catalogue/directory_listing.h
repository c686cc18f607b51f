// Directory listings of the medium, sorted by name in byte order, so that the
// REFIMG and DICOM trees pair the same way on every file system.
#pragma once

#include <boost/filesystem.hpp>

#include <string>
#include <vector>

// The entries of `directory` ("." and ".." never among them), sorted by file
// name byte by byte. Empty when the directory cannot be listed.
std::vector<boost::filesystem::path> sortedDirectoryEntries(const boost::filesystem::path &directory);

// The same listing into `entries`; false (and no entries) when the directory
// cannot be opened for listing or its reading fails; `error` (when given)
// receives the errno of the failure, or 0.
bool listSortedDirectory(const boost::filesystem::path &directory,
                         std::vector<boost::filesystem::path> &entries, int *error = nullptr);

// An open directory descriptor, closed when dropped; -1 when none.
class DirectoryHandle {
 public:
  DirectoryHandle() = default;
  explicit DirectoryHandle(int descriptor) : descriptor_(descriptor) {}
  DirectoryHandle(DirectoryHandle &&other) noexcept : descriptor_(other.release()) {}
  DirectoryHandle &operator=(DirectoryHandle &&other) noexcept;
  DirectoryHandle(const DirectoryHandle &) = delete;
  DirectoryHandle &operator=(const DirectoryHandle &) = delete;
  ~DirectoryHandle();

  int get() const { return descriptor_; }
  explicit operator bool() const { return descriptor_ >= 0; }
  int release();

 private:
  int descriptor_ = -1;
};

// Opens the directory `name` relative to the directory `parent` (AT_FDCWD:
// the current one; ignored for an absolute name). Never blocks, even when
// `name` is a link to a pipe.
DirectoryHandle openDirectoryAt(int parent, const char *name);

// One entry of an open directory: its name and the type the directory itself
// records for it (`d_type`: DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN...), which does
// not look through links.
struct ListedEntry {
  std::string name;
  unsigned char type;
};

// The entries of an open directory in the same order as sortedDirectoryEntries
// gives them; for walks that examine entries relative to the directory's
// descriptor rather than by whole paths. A descriptor is read through once:
// list a freshly opened directory. A read that fails ends the listing early
// and leaves its errno in `readError` when one is given.
std::vector<ListedEntry> sortedListing(int directory, int *readError = nullptr);
