// The per-run private working directory.
#include "base/tmp_directory.h"

#include "base/medium_links.h"
#include "base/quit_request.h"
#include "base/text.h"
#include "base/trace.h"
#include "platform/directories.h"
#include "platform/platform.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

std::string tmpDirectory;

namespace {

constexpr char kNamePrefix[] = "VELMORAtmp";

// Names are cut like the original 150-byte buffer, but never inside a character.
constexpr size_t kMaxPathBytes = 149;

// Start-up copies: nothing above 64 MiB, at most 512 MiB and 5 s in all,
// whatever the disc holds; the window must not wait for a huge folder.
constexpr std::uint64_t kMaxCopiedFile = 64ull << 20;
constexpr std::uint64_t kMaxCopiedTotal = 512ull << 20;
constexpr gint64 kCopyTimeBudgetUs = 5 * G_USEC_PER_SEC;

struct CopyBudget {
  std::uint64_t copied = 0;
  gint64 deadline = 0;  // 0: no time limit
  bool inTime() const { return deadline == 0 || g_get_monotonic_time() <= deadline; }
};
// This run's working directory: whether it was made by us, and what its
// start-up copies may still take.
struct ThisRun {
  bool tmpDirectoryCreated = false;
  CopyBudget copyBudget;
};
ThisRun thisRun;

std::string directoryName(const std::string &base) {
  gchar *name = g_strdup_printf("%s%s%s%" G_GUINT64_FORMAT, base.c_str(), G_DIR_SEPARATOR_S, kNamePrefix,
                                static_cast<guint64>(g_get_real_time()));
  std::string result = cutAtCharacterBoundary(name, kMaxPathBytes);
  g_free(name);
  return result;
}

// Through the listing the walks of the medium use, in the same byte order.
std::vector<std::string> sortedEntries(const std::string &directory) {
  std::vector<std::string> names;
  for (platform::ListedEntry &entry : platform::sortedListing(platform::openDirectory(directory)))
    names.push_back(std::move(entry.name));
  return names;
}

void removeAbandonedDirectories(const std::string &base) {
  std::vector<std::string> abandoned;
  for (const std::string &name : sortedEntries(base))
    if (name.rfind(kNamePrefix, 0) == 0 && platform::abandonedRunDirectory(base + G_DIR_SEPARATOR_S + name))
      abandoned.push_back(base + G_DIR_SEPARATOR_S + name);
  for (const std::string &path : abandoned) platform::removeDirectoryTree(path);
}

bool makeDirectoryIn(const std::string &base) {
  // A taken name is never adopted: another user may have planted it. A new
  // time stamp gives a new name; a cut name that cannot change stops the tries.
  std::string previous;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = directoryName(base);
    if (attempt > 0 && name == previous) return false;
    previous = name;
    tmpDirectory = name;
    platform::DirectoryCreation made = platform::createPrivateDirectory(name);
    if (made == platform::DirectoryCreation::Created) return true;
    if (made == platform::DirectoryCreation::Failed) return false;
  }
  return false;
}

// Copies one file within the start-up budget and clears the read-only state
// of the copy; a failure of the latter traces its error code. Files over the
// budget are passed over with a trace line.
void copyToTmp(const std::string &source, const std::string &target) {
  GStatBuf info;
  if (g_stat(source.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxCopiedFile || thisRun.copyBudget.copied + size > kMaxCopiedTotal ||
        !thisRun.copyBudget.inTime()) {
      trace("Pominięto przy kopiowaniu (limit rozmiaru lub czasu): " + source);
      return;
    }
  }
  const std::uint64_t before = thisRun.copyBudget.copied;
  bool withinBudget = true;
  platform::copyFileNoOverwrite(source, target, [&](std::uint64_t copied) {
    // A file that grows while it is copied is held to the same limits.
    withinBudget =
        copied <= kMaxCopiedFile && before + copied <= kMaxCopiedTotal && thisRun.copyBudget.inTime();
    thisRun.copyBudget.copied = before + copied;
    return withinBudget && !quitRequested();
  });
  if (!withinBudget) trace("Pominięto przy kopiowaniu (limit rozmiaru lub czasu): " + source);
  if (quitRequested()) return;
  int error = platform::clearReadOnly(target);
  if (error != 0) trace(std::to_string(static_cast<unsigned>(error)));
}

}  // namespace

bool tmpDirectoryUsable() { return thisRun.tmpDirectoryCreated; }

std::string tmpPath(const std::string &suffix) {
  if (thisRun.tmpDirectoryCreated) return tmpDirectory + suffix;
  // Without a directory of our own the pictures come from the disc itself
  // (never through a link off it); nothing else has a place.
  if (suffix.rfind("/img/", 0) != 0 && suffix.rfind("/images/", 0) != 0) return std::string();
  std::string onMedium = platform::currentDirectory() + suffix;
  return resolvesInsideMedium(onMedium, resolvedMediumRoot()) ? onMedium : std::string();
}

std::string workingDirectoryBase() {
  std::string runtime = platform::privateRuntimeFolder();
  return runtime.empty() ? platform::temporaryFolder() : runtime;
}

void createTmpDirectory() {
  const std::string runtime = platform::privateRuntimeFolder();
  const std::string temporary = platform::temporaryFolder();
  removeAbandonedDirectories(temporary);
  if (!runtime.empty() && runtime != temporary) removeAbandonedDirectories(runtime);

  // The private runtime folder when there is one and it takes the directory
  // (it may be full), else the temporary folder.
  thisRun.tmpDirectoryCreated = (!runtime.empty() && makeDirectoryIn(runtime)) || makeDirectoryIn(temporary);
  if (!thisRun.tmpDirectoryCreated) {
    trace("Nie można utworzyć katalogu roboczego w " + workingDirectoryBase() + ": " + g_strerror(errno) +
          "; opisy badań są niedostępne, obrazy są czytane z płyty.");
    tmpDirectory.clear();
    return;
  }
  platform::holdRunMarker(tmpDirectory);
  // The toolkit ends the process with exit() when the display goes away
  // (the desktop session ended): the copies go with it all the same.
  static bool removalAtExit = false;
  if (!removalAtExit) removalAtExit = std::atexit(removeTmpDirectory) == 0;

  thisRun.copyBudget = {0, g_get_monotonic_time() + kCopyTimeBudgetUs};
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
  if (!thisRun.tmpDirectoryCreated || !g_file_test(name.c_str(), G_FILE_TEST_IS_DIR) ||
      !resolvesInsideMedium(name, mediumRoot))
    return;
  std::string targetDir = tmpPath("/" + name);
  g_mkdir(targetDir.c_str(), 0700);
  g_chmod(targetDir.c_str(), 0700);
  for (const std::string &entry : sortedEntries(name)) {
    if (quitRequested()) return;
    std::string source = name + G_DIR_SEPARATOR_S + entry;
    if (linkLeavesMedium(source, mediumRoot)) continue;
    copyToTmp(source, targetDir + G_DIR_SEPARATOR_S + entry);
  }
}

void removeTmpDirectory() {
  if (!thisRun.tmpDirectoryCreated) return;
  // The marker first: Windows removes no file that is still open.
  platform::releaseRunMarker();
  platform::removeDirectoryTree(tmpDirectory);
  thisRun.tmpDirectoryCreated = false;
}

std::string picturePath(const std::string &suffix) {
  if (thisRun.tmpDirectoryCreated) {
    std::string copy = tmpPath(suffix);
    if (g_file_test(copy.c_str(), G_FILE_TEST_EXISTS)) return copy;
  }
  std::string onMedium = suffix.substr(1);
  // What the copies would not take from off the disc is not read from there either.
  return linkLeavesMedium(onMedium, resolvedMediumRoot()) ? tmpPath(suffix) : onMedium;
}
