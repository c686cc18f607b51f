// File permissions that hold for the test itself, also for the superuser.
#include "support/file_permissions.h"

#include <linux/capability.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

namespace testsupport {

namespace {

// The privileges that read, search and write past permissions, or change
// them on another's file.
constexpr unsigned int kOverrides =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool readCapabilities(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(SYS_capget, &header, data) == 0;
}

bool writeCapabilities(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ScopedPermissionChecks::ScopedPermissionChecks() {
  __user_cap_data_struct data[2];
  if (!readCapabilities(data) || (data[0].effective & kOverrides) == 0) return;
  saved_[0] = data[0].effective;
  saved_[1] = data[1].effective;
  data[0].effective &= ~kOverrides;
  changed_ = writeCapabilities(data);
}

ScopedPermissionChecks::~ScopedPermissionChecks() {
  if (!changed_) return;
  __user_cap_data_struct data[2];
  if (!readCapabilities(data)) return;
  data[0].effective = saved_[0];
  data[1].effective = saved_[1];
  writeCapabilities(data);
}

void setModeRecursively(const std::string &path, unsigned int fileMode, unsigned int directoryMode) {
  namespace fs = boost::filesystem;
  boost::system::error_code error;
  if (fs::is_symlink(path, error)) return;
  if (!fs::is_directory(path, error)) {
    ::chmod(path.c_str(), fileMode);
    return;
  }
  // Entered first with search rights, so that the walk gets below it.
  ::chmod(path.c_str(), directoryMode | S_IRWXU);
  std::vector<std::string> children;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
    children.push_back(it->path().string());
  for (const std::string &child : children) setModeRecursively(child, fileMode, directoryMode);
  ::chmod(path.c_str(), directoryMode);
}

}  // namespace testsupport
