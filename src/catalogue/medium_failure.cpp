// A failing medium, told from one failing entry.
#include "catalogue/medium_failure.h"

#include "base/trace.h"
#include "catalogue/directory_listing.h"

#include <fcntl.h>
#include <glib.h>

#include <cerrno>

namespace {

bool listable(const char *folder) {
  DirectoryHandle handle = openDirectoryAt(AT_FDCWD, folder);
  if (!handle) return false;
  int readError = 0;
  sortedListing(handle.get(), &readError);
  return readError == 0;
}

}  // namespace

bool isMediumError(int error) {
  return error == EIO || error == ENODEV || error == ENXIO || error == ENOMEDIUM || error == EMEDIUMTYPE;
}

bool mediumStillListable() { return listable(".") && listable("REFIMG"); }

bool mediumFailsAfter(int error) { return isMediumError(error) || !mediumStillListable(); }

void reportSkippedEntry(const std::string &path, const std::string &why) {
  std::string line = "pominięty \"" + path + "\": " + why;
  trace(line);
  g_printerr("%s\n", line.c_str());
}
