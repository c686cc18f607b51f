// File permissions that hold for the test itself: a test that makes a file of
// the medium unreadable or read-only must see it refused even when it runs as
// the superuser, whose privileges would otherwise read and write past them.
#pragma once

#include <string>

namespace testsupport {

// While it lives, the calling thread (and threads it starts) obeys file
// permissions: the privileges to override them are set aside, if it has them,
// and taken back at the end. Everything else stays as it was.
class ScopedPermissionChecks {
 public:
  ScopedPermissionChecks();
  ~ScopedPermissionChecks();
  ScopedPermissionChecks(const ScopedPermissionChecks &) = delete;
  ScopedPermissionChecks &operator=(const ScopedPermissionChecks &) = delete;

 private:
  bool changed_ = false;
  unsigned int saved_[2] = {0, 0};
};

// Sets `mode` on `path` and on everything below it (directories last, so they
// can still be entered on the way down).
void setModeRecursively(const std::string &path, unsigned int fileMode, unsigned int directoryMode);

}  // namespace testsupport
