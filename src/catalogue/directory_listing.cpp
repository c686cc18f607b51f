// Directory listings of the medium, sorted by name in byte order.
#include "catalogue/directory_listing.h"

#include <algorithm>

namespace fs = boost::filesystem;

std::vector<fs::path> sortedDirectoryEntries(const fs::path &directory) {
  std::vector<fs::path> entries;
  boost::system::error_code error;
  fs::directory_iterator it(directory, error);
  for (fs::directory_iterator end; !error && it != end; it.increment(error)) entries.push_back(it->path());
  std::sort(entries.begin(), entries.end(), [](const fs::path &a, const fs::path &b) {
    return a.filename().native() < b.filename().native();
  });
  return entries;
}
