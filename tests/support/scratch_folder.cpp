// A temporary folder of a test's own, outside any medium.
#include "support/scratch_folder.h"

#include "support/file_permissions.h"

#include <glib.h>
#include <boost/filesystem.hpp>

#include <stdexcept>

namespace testsupport {

ScratchFolder::ScratchFolder() {
  gchar *made = g_dir_make_tmp("scratch-XXXXXX", nullptr);
  if (made == nullptr) throw std::runtime_error("cannot create a scratch folder");
  root_ = made;
  g_free(made);
}

ScratchFolder::~ScratchFolder() {
  // A test may have left parts of it read-only or unreadable.
  setModeRecursively(root_, 0644, 0755);
  boost::system::error_code error;
  boost::filesystem::remove_all(root_, error);
}

}  // namespace testsupport
