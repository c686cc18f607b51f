// Links on the medium: followed only to places inside the medium root.
#include "base/medium_links.h"

#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace {

// `path` with every link resolved; empty when it cannot be.
std::string resolved(const std::string &path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), std::free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace

std::string resolvedMediumRoot() {
  std::string current = platform::currentDirectory();
  return current.empty() ? current : resolved(current);
}

bool resolvesInsideMedium(const std::string &path, const std::string &resolvedRoot) {
  if (resolvedRoot.empty()) return false;
  std::string target = resolved(path);
  if (target.empty()) return false;
  if (resolvedRoot == "/" || target == resolvedRoot) return true;
  return target.size() > resolvedRoot.size() && target.compare(0, resolvedRoot.size(), resolvedRoot) == 0 &&
         target[resolvedRoot.size()] == '/';
}

bool linkLeavesMedium(int directory, const std::string &directoryPath, const std::string &name,
                      unsigned char type, const std::string &resolvedRoot) {
  if (type != DT_LNK) {
    // Some file systems (ISO 9660 among them) record no type: ask the entry itself.
    struct stat info;
    if (type != DT_UNKNOWN || ::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode))
      return false;
  }
  return !resolvesInsideMedium(directoryPath + "/" + name, resolvedRoot);
}

bool linkLeavesMedium(const std::string &path, const std::string &resolvedRoot) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
  return !resolvesInsideMedium(path, resolvedRoot);
}

ListedKind examineListedEntry(const std::string &path, const std::string &resolvedRoot, struct stat &status) {
  if (::lstat(path.c_str(), &status) != 0) return ListedKind::unreadable;
  if (S_ISLNK(status.st_mode) &&
      (!resolvesInsideMedium(path, resolvedRoot) || ::stat(path.c_str(), &status) != 0))
    return ListedKind::other;
  if (S_ISDIR(status.st_mode)) return ListedKind::directory;
  if (S_ISREG(status.st_mode)) return ListedKind::regularFile;
  return ListedKind::other;
}
