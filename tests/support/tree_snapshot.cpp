// A record of everything below a folder.
#include "support/tree_snapshot.h"

#include "platform/glib_owners.h"

#include <glib.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <vector>

namespace testsupport {

namespace {

std::string fileDigest(const std::string &path) {
  gchar *content = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &content, &length, nullptr)) return "unreadable";
  UniqueString owned(content);
  UniqueString digest(
      g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar *>(content), length));
  return digest.get();
}

void record(const std::string &root, const std::string &relative, TreeSnapshot &snapshot) {
  std::string path = relative.empty() ? root : root + "/" + relative;
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;
  EntrySnapshot &entry = snapshot[relative];
  entry.size = static_cast<long long>(info.st_size);
  entry.mode = info.st_mode & 07777;
  entry.modifiedNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  if (S_ISLNK(info.st_mode)) {
    entry.kind = 'l';
    std::vector<char> target(static_cast<size_t>(info.st_size) + 1);
    ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length >= 0) entry.linkTarget.assign(target.data(), static_cast<size_t>(length));
    return;
  }
  if (S_ISREG(info.st_mode)) {
    entry.kind = 'f';
    entry.digest = fileDigest(path);
    return;
  }
  if (!S_ISDIR(info.st_mode)) {
    entry.kind = 'o';
    return;
  }
  entry.kind = 'd';
  DIR *directory = ::opendir(path.c_str());
  if (directory == nullptr) return;
  std::vector<std::string> names;
  while (const dirent *child = ::readdir(directory)) {
    std::string name = child->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(directory);
  for (const std::string &name : names)
    record(root, relative.empty() ? name : relative + "/" + name, snapshot);
}

std::string describe(const EntrySnapshot &entry) {
  std::ostringstream text;
  text << entry.kind << " size " << entry.size << " mode " << std::oct << entry.mode << std::dec << " mtime "
       << entry.modifiedNs;
  if (!entry.linkTarget.empty()) text << " -> " << entry.linkTarget;
  if (!entry.digest.empty()) text << " sha256 " << entry.digest;
  return text.str();
}

}  // namespace

bool EntrySnapshot::operator==(const EntrySnapshot &other) const {
  return kind == other.kind && size == other.size && mode == other.mode && modifiedNs == other.modifiedNs &&
         linkTarget == other.linkTarget && digest == other.digest;
}

TreeSnapshot snapshotTree(const std::string &root) {
  TreeSnapshot snapshot;
  record(root, "", snapshot);
  return snapshot;
}

std::string snapshotDifferences(const TreeSnapshot &before, const TreeSnapshot &after) {
  std::ostringstream text;
  for (const auto &[path, entry] : before) {
    auto found = after.find(path);
    if (found == after.end())
      text << "removed: " << path << "\n";
    else if (found->second != entry)
      text << "changed: " << path << " (" << describe(entry) << " -> " << describe(found->second) << ")\n";
  }
  for (const auto &[path, entry] : after)
    if (before.count(path) == 0) text << "created: " << path << " (" << describe(entry) << ")\n";
  return text.str();
}

}  // namespace testsupport
