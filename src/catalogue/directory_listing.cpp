// Directory listings of the medium, sorted by name in byte order.
#include "catalogue/directory_listing.h"

#include "platform/directories.h"

namespace fs = boost::filesystem;

std::vector<fs::path> sortedDirectoryEntries(const fs::path &directory) {
  std::vector<fs::path> paths;
  listSortedDirectory(directory, paths);
  return paths;
}

bool listSortedDirectory(const fs::path &directory, std::vector<fs::path> &paths, int *error) {
  paths.clear();
  int readError = 0;
  platform::DirectoryHandle handle = platform::openDirectory(directory.string(), &readError);
  std::vector<platform::ListedEntry> entries;
  if (handle) entries = platform::sortedListing(handle, &readError);
  if (error != nullptr) *error = readError;
  // A listing cut short by a failing medium is no listing.
  if (readError != 0) return false;
  paths.reserve(entries.size());
  for (const platform::ListedEntry &entry : entries) paths.push_back(directory / entry.name);
  return true;
}
