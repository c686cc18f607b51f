// File permissions on Windows: no account there reads or writes past them by
// default, so the checks need no change; modes map to the read-only attribute.
#include "support/file_permissions.h"

#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <vector>

namespace testsupport {

ScopedPermissionChecks::ScopedPermissionChecks() = default;

ScopedPermissionChecks::~ScopedPermissionChecks() = default;

void setModeRecursively(const std::string &path, unsigned int fileMode, unsigned int directoryMode) {
  namespace fs = boost::filesystem;
  boost::system::error_code error;
  if (!fs::is_directory(path, error)) {
    g_chmod(path.c_str(), static_cast<int>(fileMode));
    return;
  }
  std::vector<std::string> children;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
    children.push_back(it->path().string());
  for (const std::string &child : children) setModeRecursively(child, fileMode, directoryMode);
  g_chmod(path.c_str(), static_cast<int>(directoryMode));
}

}  // namespace testsupport
