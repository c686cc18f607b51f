// A failing medium, told from one failing entry.
#include "catalogue/medium_failure.h"

#include "base/trace.h"
#include "platform/directories.h"

#include <glib.h>

namespace {

bool listable(const char *folder) {
  platform::DirectoryHandle handle = platform::openDirectory(folder);
  if (!handle) return false;
  int readError = 0;
  platform::sortedListing(handle, &readError);
  return readError == 0;
}

}  // namespace

bool isMediumError(int error) { return platform::isMediumFailure(error); }

bool mediumStillListable() { return listable(".") && listable("REFIMG"); }

bool mediumFailsAfter(int error) { return isMediumError(error) || !mediumStillListable(); }

void reportSkippedEntry(const std::string &path, const std::string &why) {
  std::string line = "pominięty \"" + path + "\": " + why;
  trace(line);
  g_printerr("%s\n", line.c_str());
}
