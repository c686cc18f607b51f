// The walks of the medium's DICOM tree and the picture count of REFIMG.
#include "catalogue/directory_scan.h"

#include "base/medium_links.h"
#include "catalogue/directory_listing.h"
#include "catalogue/medium_relative_path.h"
#include "catalogue/reference_catalogue.h"
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <utility>

namespace fs = boost::filesystem;

namespace {

// The walks open each directory relative to its parent's descriptor and
// examine entries relative to their own: a whole disc is walked without
// resolving every path from the root again.
enum class EntryKind { directory, regularFile, other };

// Directories already entered by one walk, by device and inode, so that a link
// to a directory seen before (an ancestor above all) is not entered again.
using VisitedDirectories = std::set<std::pair<dev_t, ino_t>>;

// What one walk carries: the medium it stays on (links leading off it are not
// followed) and the directories it has entered.
struct Walk {
  std::string mediumRoot = resolvedMediumRoot();
  VisitedDirectories visited;
};

struct ExaminedEntry {
  EntryKind kind = EntryKind::other;
  // For a directory: whether this walk meets it for the first time, and then
  // the directory opened (null when it cannot be listed).
  bool firstVisit = false;
  DirectoryHandle opened;
};

bool mayBeDirectory(const ListedEntry &entry) {
  return entry.type == DT_DIR || entry.type == DT_LNK || entry.type == DT_UNKNOWN;
}

EntryKind kindOf(const struct stat &info) {
  if (S_ISDIR(info.st_mode)) return EntryKind::directory;
  if (S_ISREG(info.st_mode)) return EntryKind::regularFile;
  return EntryKind::other;
}

// The entry's kind with links followed. False when it cannot be examined
// (a dangling link, a vanished entry, a link off the medium). A directory is
// opened first and then examined through its descriptor, which spares a
// second lookup of its name. `parentPath` is the path of `parent`.
bool examineEntry(int parent, const std::string &parentPath, const ListedEntry &entry, Walk &walk,
                  ExaminedEntry &result) {
  if (entry.type == DT_REG) {  // recorded as a regular file, so not a link
    result.kind = EntryKind::regularFile;
    return true;
  }
  if (!mayBeDirectory(entry)) return true;
  if (linkLeavesMedium(parent, parentPath, entry.name, entry.type, walk.mediumRoot)) return false;
  struct stat info;
  result.opened = openDirectoryAt(parent, entry.name.c_str());
  if (result.opened) {
    if (::fstat(result.opened.get(), &info) != 0) return false;
  } else if (::fstatat(parent, entry.name.c_str(), &info, 0) != 0) {
    return false;
  }
  result.kind = kindOf(info);
  if (result.kind == EntryKind::directory)
    result.firstVisit = walk.visited.insert({info.st_dev, info.st_ino}).second;
  if (!result.firstVisit) result.opened = DirectoryHandle();
  return true;
}

// Whether the entry is a regular file, links followed as far as they stay on
// the medium; nothing is opened. `parentPath` is the path of `parent`.
bool isRegularFile(int parent, const std::string &parentPath, const ListedEntry &entry,
                   const std::string &mediumRoot) {
  if (entry.type == DT_REG) return true;
  if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) return false;
  if (linkLeavesMedium(parent, parentPath, entry.name, entry.type, mediumRoot)) return false;
  struct stat info;
  return ::fstatat(parent, entry.name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Opens the root of a walk and marks it entered. A root off the medium (a
// link to elsewhere) is not opened.
DirectoryHandle openRoot(const fs::path &directory, Walk &walk) {
  if (!resolvesInsideMedium(directory.string(), walk.mediumRoot)) return DirectoryHandle();
  DirectoryHandle stream = openDirectoryAt(AT_FDCWD, directory.c_str());
  struct stat info;
  if (stream && ::fstat(stream.get(), &info) == 0) walk.visited.insert({info.st_dev, info.st_ino});
  return stream;
}

// `path` made absolute against the current directory.
bool absolutePath(const fs::path &path, fs::path &absolute) {
  if (path.is_absolute()) {
    absolute = path;
    return true;
  }
  boost::system::error_code error;
  fs::path base = fs::current_path(error);
  if (error) return false;
  absolute = base / path;
  return true;
}

int countFilesIn(int directory, const std::string &path, Walk &walk) {
  int count = 0;
  for (const ListedEntry &entry : sortedListing(directory)) {
    ExaminedEntry examined;
    if (!examineEntry(directory, path, entry, walk, examined)) continue;
    if (examined.kind == EntryKind::regularFile)
      ++count;
    else if (examined.opened)
      count += countFilesIn(examined.opened.get(), path + "/" + entry.name, walk);
  }
  return count;
}

// `seriesPath` is the series directory's absolute path; the file's path is
// written as that directory + "/" + name and kept from the medium's "DICOM" on.
std::vector<std::string> firstFileOf(int series, const fs::path &seriesPath, const std::string &mediumRoot,
                                     const std::string &resolvedRoot) {
  const std::string directory = seriesPath.string();
  for (const ListedEntry &entry : sortedListing(series)) {
    if (!isRegularFile(series, directory, entry, resolvedRoot)) continue;
    std::string written = directory + "/" + entry.name;
    std::optional<std::string> relative = pathFromMediumFolder(written, "DICOM", mediumRoot);
    if (!relative) continue;
    return {*relative};
  }
  return {};
}

DicomSeriesFiles seriesOf(int study, const fs::path &studyPath, Walk &walk, const std::string &mediumRoot) {
  DicomSeriesFiles series;
  int ordinal = 0;
  for (const ListedEntry &entry : sortedListing(study)) {
    ExaminedEntry examined;
    if (!examineEntry(study, studyPath.string(), entry, walk, examined) || !examined.firstVisit) continue;
    series[ordinal++] = examined.opened ? firstFileOf(examined.opened.get(), studyPath / entry.name,
                                                      mediumRoot, walk.mediumRoot)
                                        : std::vector<std::string>();
  }
  return series;
}

}  // namespace

int countRegularFiles(const fs::path &path) {
  boost::system::error_code error;
  if (!fs::exists(path, error)) return 0;
  Walk walk;
  fs::path absolute;
  if (!absolutePath(path, absolute) || !resolvesInsideMedium(absolute.string(), walk.mediumRoot)) return 0;
  if (!fs::is_directory(absolute, error)) return 1;
  DirectoryHandle root = openRoot(absolute, walk);
  return root ? countFilesIn(root.get(), absolute.string(), walk) : 0;
}

std::vector<std::string> firstDicomFile(const fs::path &seriesDirectory) {
  fs::path absolute;
  if (!absolutePath(seriesDirectory, absolute)) return {};
  std::string resolvedRoot = resolvedMediumRoot();
  if (!resolvesInsideMedium(absolute.string(), resolvedRoot)) return {};
  DirectoryHandle series = openDirectoryAt(AT_FDCWD, absolute.c_str());
  return series ? firstFileOf(series.get(), absolute, platform::currentDirectory(), resolvedRoot)
                : std::vector<std::string>();
}

DicomSeriesFiles scanDicomStudy(const fs::path &studyDirectory) {
  fs::path absolute;
  Walk walk;
  if (!absolutePath(studyDirectory, absolute)) return {};
  DirectoryHandle study = openRoot(absolute, walk);
  return study ? seriesOf(study.get(), absolute, walk, platform::currentDirectory()) : DicomSeriesFiles();
}

DicomFileMap scanDicomTree(const fs::path &dicomRoot) {
  DicomFileMap studies;
  fs::path absolute;
  Walk walk;
  if (!absolutePath(dicomRoot, absolute)) return studies;
  DirectoryHandle root = openRoot(absolute, walk);
  if (!root) return studies;
  const std::string mediumRoot = platform::currentDirectory();
  int ordinal = 0;
  for (const ListedEntry &entry : sortedListing(root.get())) {
    ExaminedEntry examined;
    if (!examineEntry(root.get(), absolute.string(), entry, walk, examined) || !examined.firstVisit) continue;
    studies[ordinal++] = examined.opened
                             ? seriesOf(examined.opened.get(), absolute / entry.name, walk, mediumRoot)
                             : DicomSeriesFiles();
  }
  return studies;
}
