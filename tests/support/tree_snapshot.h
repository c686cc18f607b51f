// A record of everything below a folder (each entry's kind, size, mode,
// modification time, link target and content hash), to prove that nothing
// was created, changed or removed there.
#pragma once

#include <map>
#include <string>

namespace testsupport {

struct EntrySnapshot {
  char kind = '?';  // 'd' folder, 'f' regular file, 'l' link, 'o' anything else
  long long size = 0;
  unsigned int mode = 0;
  long long modifiedNs = 0;
  std::string linkTarget;
  std::string digest;  // SHA-256 of a regular file's bytes; "unreadable" when it cannot be read

  bool operator==(const EntrySnapshot &other) const;
  bool operator!=(const EntrySnapshot &other) const { return !(*this == other); }
};

// Relative path ("" for the folder itself) -> its record. Links are recorded,
// never followed.
using TreeSnapshot = std::map<std::string, EntrySnapshot>;

TreeSnapshot snapshotTree(const std::string &root);

// One line per created, removed or changed entry; empty when both are equal.
std::string snapshotDifferences(const TreeSnapshot &before, const TreeSnapshot &after);

}  // namespace testsupport
