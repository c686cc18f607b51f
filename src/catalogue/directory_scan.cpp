// The walks of the medium's DICOM tree and the picture count of REFIMG.
#include "catalogue/directory_scan.h"

#include "base/medium_links.h"
#include "catalogue/directory_listing.h"
#include "catalogue/medium_relative_path.h"
#include "catalogue/reference_catalogue.h"
#include "platform/directories.h"
#include "platform/platform.h"

#include <set>

namespace fs = boost::filesystem;

namespace {

using platform::DirectoryHandle;
using platform::EntryStatus;
using platform::EntryType;
using platform::ListedEntry;
using platform::sortedListing;

// The walks open each directory relative to its parent's handle and examine
// entries relative to it: a whole disc is walked without resolving every path
// from the root again.
enum class EntryKind { directory, regularFile, other };

// Directories already entered by one walk, by their file identity, so that a
// link to a directory seen before (an ancestor above all) is not entered again.
using VisitedDirectories = std::set<platform::FileIdentity>;

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
  return entry.type == EntryType::directory || entry.type == EntryType::link ||
         entry.type == EntryType::unknown;
}

EntryKind kindOf(const EntryStatus &status) {
  if (status.type == EntryType::directory) return EntryKind::directory;
  if (status.type == EntryType::regularFile) return EntryKind::regularFile;
  return EntryKind::other;
}

// The entry's kind with links followed. False when it cannot be examined
// (a dangling link, a vanished entry, a link off the medium). A directory is
// opened first and then examined through its handle, which spares a second
// lookup of its name. `parentPath` is the path of `parent`.
bool examineEntry(const DirectoryHandle &parent, const std::string &parentPath, const ListedEntry &entry,
                  Walk &walk, ExaminedEntry &result) {
  if (entry.type == EntryType::regularFile) {  // recorded as a regular file, so not a link
    result.kind = EntryKind::regularFile;
    return true;
  }
  if (!mayBeDirectory(entry)) return true;
  if (linkLeavesMedium(parent, parentPath, entry.name, entry.type, walk.mediumRoot)) return false;
  EntryStatus status;
  result.opened = platform::openDirectoryIn(parent, entry.name);
  if (result.opened) {
    if (!platform::directoryStatus(result.opened, status)) return false;
  } else if (!platform::entryStatusIn(parent, entry.name, platform::Links::follow, status)) {
    return false;
  }
  result.kind = kindOf(status);
  if (result.kind == EntryKind::directory) result.firstVisit = walk.visited.insert(status.identity).second;
  if (!result.firstVisit) result.opened = DirectoryHandle();
  return true;
}

// Whether the entry is a regular file, links followed as far as they stay on
// the medium; nothing is opened. `parentPath` is the path of `parent`.
bool isRegularFile(const DirectoryHandle &parent, const std::string &parentPath, const ListedEntry &entry,
                   const std::string &mediumRoot) {
  if (entry.type == EntryType::regularFile) return true;
  if (entry.type != EntryType::link && entry.type != EntryType::unknown) return false;
  if (linkLeavesMedium(parent, parentPath, entry.name, entry.type, mediumRoot)) return false;
  EntryStatus status;
  return platform::entryStatusIn(parent, entry.name, platform::Links::follow, status) &&
         status.type == EntryType::regularFile;
}

// Opens the root of a walk and marks it entered. A root off the medium (a
// link to elsewhere) is not opened.
DirectoryHandle openRoot(const fs::path &directory, Walk &walk) {
  if (!resolvesInsideMedium(directory.string(), walk.mediumRoot)) return DirectoryHandle();
  DirectoryHandle stream = platform::openDirectory(directory.string());
  EntryStatus status;
  if (stream && platform::directoryStatus(stream, status)) walk.visited.insert(status.identity);
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

int countFilesIn(const DirectoryHandle &directory, const std::string &path, Walk &walk) {
  int count = 0;
  for (const ListedEntry &entry : sortedListing(directory)) {
    ExaminedEntry examined;
    if (!examineEntry(directory, path, entry, walk, examined)) continue;
    if (examined.kind == EntryKind::regularFile)
      ++count;
    else if (examined.opened)
      count += countFilesIn(examined.opened, path + "/" + entry.name, walk);
  }
  return count;
}

// `seriesPath` is the series directory's absolute path; the file's path is
// written as that directory + "/" + name and kept from the medium's "DICOM" on.
// At most `most` files, those named after `after` in name order.
std::vector<std::string> filesOf(const DirectoryHandle &series, const fs::path &seriesPath,
                                 const std::string &mediumRoot, const std::string &resolvedRoot, size_t most,
                                 const std::string &after = std::string()) {
  const std::string directory = seriesPath.string();
  std::vector<std::string> files;
  for (const ListedEntry &entry : sortedListing(series)) {
    if (files.size() >= most) break;
    if (!after.empty() && entry.name.compare(after) <= 0) continue;
    if (!isRegularFile(series, directory, entry, resolvedRoot)) continue;
    std::string written = directory + "/" + entry.name;
    std::optional<std::string> relative = pathFromMediumFolder(written, "DICOM", mediumRoot);
    if (relative) files.push_back(*relative);
  }
  return files;
}

std::vector<std::string> firstFileOf(const DirectoryHandle &series, const fs::path &seriesPath,
                                     const std::string &mediumRoot, const std::string &resolvedRoot) {
  return filesOf(series, seriesPath, mediumRoot, resolvedRoot, 1);
}

DicomSeriesFiles seriesOf(const DirectoryHandle &study, const fs::path &studyPath, Walk &walk,
                          const std::string &mediumRoot) {
  DicomSeriesFiles series;
  int ordinal = 0;
  for (const ListedEntry &entry : sortedListing(study)) {
    ExaminedEntry examined;
    if (!examineEntry(study, studyPath.string(), entry, walk, examined) || !examined.firstVisit) continue;
    series[ordinal++] =
        examined.opened ? firstFileOf(examined.opened, studyPath / entry.name, mediumRoot, walk.mediumRoot)
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
  return root ? countFilesIn(root, absolute.string(), walk) : 0;
}

std::vector<std::string> firstDicomFile(const fs::path &seriesDirectory) {
  fs::path absolute;
  if (!absolutePath(seriesDirectory, absolute)) return {};
  std::string resolvedRoot = resolvedMediumRoot();
  if (!resolvesInsideMedium(absolute.string(), resolvedRoot)) return {};
  DirectoryHandle series = platform::openDirectory(absolute.string());
  return series ? firstFileOf(series, absolute, platform::currentDirectory(), resolvedRoot)
                : std::vector<std::string>();
}

std::vector<std::string> laterDicomFiles(const std::string &firstFile, size_t most) {
  size_t slash = firstFile.rfind('/');
  if (slash == std::string::npos) return {};
  fs::path absolute;
  if (!absolutePath(firstFile.substr(0, slash), absolute)) return {};
  std::string resolvedRoot = resolvedMediumRoot();
  if (!resolvesInsideMedium(absolute.string(), resolvedRoot)) return {};
  DirectoryHandle series = platform::openDirectory(absolute.string());
  return series ? filesOf(series, absolute, platform::currentDirectory(), resolvedRoot, most,
                          firstFile.substr(slash + 1))
                : std::vector<std::string>();
}

DicomSeriesFiles scanDicomStudy(const fs::path &studyDirectory) {
  fs::path absolute;
  Walk walk;
  if (!absolutePath(studyDirectory, absolute)) return {};
  DirectoryHandle study = openRoot(absolute, walk);
  return study ? seriesOf(study, absolute, walk, platform::currentDirectory()) : DicomSeriesFiles();
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
  for (const ListedEntry &entry : sortedListing(root)) {
    ExaminedEntry examined;
    if (!examineEntry(root, absolute.string(), entry, walk, examined) || !examined.firstVisit) continue;
    studies[ordinal++] = examined.opened ? seriesOf(examined.opened, absolute / entry.name, walk, mediumRoot)
                                         : DicomSeriesFiles();
  }
  return studies;
}
