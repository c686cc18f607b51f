// The per-run private working directory.
#include "base/tmp_directory.h"

#include "base/medium_links.h"
#include "base/text.h"
#include "base/trace.h"
#include "platform/platform.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

std::string tmpDirectory;

namespace {

bool tmpDirectoryCreated = false;

// Names are cut like the original 150-byte buffer, but never inside a character.
constexpr size_t kMaxPathBytes = 149;

std::string directoryName() {
  gchar *name = g_strdup_printf("%s%sVELMORAtmp%" G_GUINT64_FORMAT, g_get_tmp_dir(), G_DIR_SEPARATOR_S,
                                static_cast<guint64>(g_get_real_time()));
  std::string result = cutAtCharacterBoundary(name, kMaxPathBytes);
  g_free(name);
  return result;
}

// Copies one file and clears the read-only state of the copy; a failure of the
// latter traces its error code.
void copyToTmp(const std::string &source, const std::string &target) {
  platform::copyFileNoOverwrite(source, target);
  int error = platform::clearReadOnly(target);
  if (error != 0) trace(std::to_string(static_cast<unsigned>(error)));
}

std::vector<std::string> sortedEntries(const std::string &directory) {
  std::vector<std::string> names;
  GDir *dir = g_dir_open(directory.c_str(), 0, nullptr);
  if (dir == nullptr) return names;
  while (const gchar *entry = g_dir_read_name(dir)) names.emplace_back(entry);
  g_dir_close(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool tmpDirectoryUsable() { return tmpDirectoryCreated; }

std::string tmpPath(const std::string &suffix) { return tmpDirectory + suffix; }

void createTmpDirectory() {
  // A taken name is never adopted: another user may have planted it. A new
  // time stamp gives a new name; a cut name that cannot change stops the tries.
  std::string previous;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = directoryName();
    if (attempt > 0 && name == previous) break;
    previous = name;
    tmpDirectory = name;
    if (g_mkdir(name.c_str(), 0700) == 0) {
      g_chmod(name.c_str(), 0700);
      tmpDirectoryCreated = true;
      // The toolkit ends the process with exit() when the display goes away
      // (the desktop session ended): the copies go with it all the same.
      static bool removalAtExit = false;
      if (!removalAtExit) removalAtExit = std::atexit(removeTmpDirectory) == 0;
      break;
    }
    if (errno != EEXIST) break;
  }
  if (!tmpDirectoryCreated) return;

  if (!linkLeavesMedium("descrlist.js", resolvedMediumRoot()))
    copyToTmp("descrlist.js", tmpPath("/descrlist.js"));
  copyDirectoryToTmp("img");
  copyDirectoryToTmp("images");
}

void copyDirectoryToTmp(const std::string &name) {
  trace("sourceDir: " + name);
  // A folder or file that is a link off the disc is not copied: the copies
  // hold what the disc carries, nothing else of the machine.
  const std::string mediumRoot = resolvedMediumRoot();
  if (!tmpDirectoryCreated || !g_file_test(name.c_str(), G_FILE_TEST_IS_DIR) ||
      !resolvesInsideMedium(name, mediumRoot))
    return;
  std::string targetDir = tmpPath("/" + name);
  g_mkdir(targetDir.c_str(), 0700);
  g_chmod(targetDir.c_str(), 0700);
  for (const std::string &entry : sortedEntries(name)) {
    std::string source = name + G_DIR_SEPARATOR_S + entry;
    if (linkLeavesMedium(source, mediumRoot)) continue;
    copyToTmp(source, targetDir + G_DIR_SEPARATOR_S + entry);
  }
}

void removeTmpDirectory() {
  if (!tmpDirectoryCreated) return;
  boost::system::error_code error;
  boost::filesystem::remove_all(boost::filesystem::path(tmpDirectory), error);
  tmpDirectoryCreated = false;
}
