// Links on the medium: followed only to places inside the medium root.
#include "base/medium_links.h"

#include "platform/platform.h"

using platform::EntryStatus;
using platform::EntryType;
using platform::Links;

std::string resolvedMediumRoot() {
  std::string current = platform::currentDirectory();
  return current.empty() ? current : platform::resolvedPath(current);
}

bool resolvesInsideMedium(const std::string &path, const std::string &resolvedRoot) {
  if (resolvedRoot.empty()) return false;
  return platform::resolvedPathWithin(platform::resolvedPath(path), resolvedRoot);
}

bool linkLeavesMedium(const platform::DirectoryHandle &directory, const std::string &directoryPath,
                      const std::string &name, EntryType type, const std::string &resolvedRoot) {
  if (type != EntryType::link) {
    // Some file systems (ISO 9660 among them) record no type: ask the entry itself.
    EntryStatus status;
    if (type != EntryType::unknown || !platform::entryStatusIn(directory, name, Links::notFollowed, status) ||
        status.type != EntryType::link)
      return false;
  }
  return !resolvesInsideMedium(directoryPath + "/" + name, resolvedRoot);
}

bool linkLeavesMedium(const std::string &path, const std::string &resolvedRoot) {
  EntryStatus status;
  if (!platform::entryStatus(path, Links::notFollowed, status) || status.type != EntryType::link)
    return false;
  return !resolvesInsideMedium(path, resolvedRoot);
}

bool programLeavesMedium(const std::string &path, const std::string &resolvedRoot) {
  std::string resolved = platform::resolvedPath(path);
  if (!resolved.empty()) return !platform::resolvedPathWithin(resolved, resolvedRoot);
  EntryStatus status;
  return platform::entryStatus(path, Links::notFollowed, status);
}

ListedKind examineListedEntry(const std::string &path, const std::string &resolvedRoot, EntryStatus &status,
                              int *error) {
  if (!platform::entryStatus(path, Links::notFollowed, status, error)) return ListedKind::unreadable;
  if (status.type == EntryType::link &&
      (!resolvesInsideMedium(path, resolvedRoot) || !platform::entryStatus(path, Links::follow, status)))
    return ListedKind::other;
  if (status.type == EntryType::directory) return ListedKind::directory;
  if (status.type == EntryType::regularFile) return ListedKind::regularFile;
  return ListedKind::other;
}
