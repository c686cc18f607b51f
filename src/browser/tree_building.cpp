// Building the browser's tree of studies and series from REFIMG. Folders are
// matched with the attribute records by position. Main thread only.
#include "browser/tree_building.h"

#include "base/medium_links.h"
#include "base/text.h"
#include "base/trace.h"
#include "browser/series_loading.h"
#include "browser/thumbnail_index.h"
#include "catalogue/directory_listing.h"
#include "catalogue/reference_catalogue.h"

#include <set>
#include <utility>

namespace fs = boost::filesystem;

namespace {

const size_t kStudyLabelLimit = 257;
const size_t kSeriesLabelLimit = 127;

// The first record at (study, series); null when there is none.
const StudyMetadata *recordAt(int studyIndex, int seriesIndex) {
  auto study = StudyMetadataIndex.find(studyIndex);
  if (study == StudyMetadataIndex.end()) return nullptr;
  auto series = study->second.find(seriesIndex);
  if (series == study->second.end() || series->second.empty()) return nullptr;
  return &series->second.front();
}

// One build's walk of REFIMG: the medium it stays on, and the folders it has
// entered, by device and inode. A link to a folder entered before (an
// ancestor above all) is passed over as the DICOM scan passes it over, so the
// two trees keep pairing by position.
struct RefimgWalk {
  std::string mediumRoot = resolvedMediumRoot();
  std::set<std::pair<dev_t, ino_t>> entered;

  // Marks `directory` entered; false when it was entered before.
  bool enter(const struct stat &directory) {
    return entered.insert({directory.st_dev, directory.st_ino}).second;
  }
};

// What a listed entry of a study or REFIMG folder is to the build: a folder
// to enter, or nothing to do with (false). `unreadable` is raised for an entry
// that was listed and cannot be examined any more: the disc was taken out or
// fails, and the whole build must end with the warning.
bool isFolderToEnter(const fs::path &entry, RefimgWalk &walk, bool &unreadable) {
  struct stat status;
  ListedKind kind = examineListedEntry(entry.string(), walk.mediumRoot, status);
  unreadable = kind == ListedKind::unreadable;
  return kind == ListedKind::directory && walk.enter(status);
}

// The build's own listing of a folder it has entered; a folder that cannot be
// listed any more is an unreadable medium.
bool listEnteredFolder(const fs::path &folder, std::vector<fs::path> &entries) {
  if (listSortedDirectory(folder, entries)) return true;
  mediumReadable = false;
  return false;
}

SeriesThumbnails seriesBranchesOf(BranchTree &tree, int studyIndex, const fs::path &studyDir,
                                  RefimgWalk &walk);

// Attribute values may come in another character set than UTF-8; the label
// shows them as text either way.
std::string labelText(const std::string &text, size_t limit) {
  return cutAtCharacterBoundary(makeValidUtf8(text), limit);
}

}  // namespace

std::string studyLabel(const StudyMetadata &record) {
  return labelText(record.modality + " [" + record.studyDescription + "]", kStudyLabelLimit);
}

std::string seriesLabel(const StudyMetadata &record, int seriesIndex) {
  if (!record.seriesDescription.empty()) return labelText(record.seriesDescription, kSeriesLabelLimit);
  return "Seria " + std::to_string(seriesIndex + 1);
}

ThumbnailMap buildStudyBranches(BranchTree &tree, const fs::path &refimgRoot) {
  ThumbnailMap studies;
  boost::system::error_code error;
  if (!fs::exists(refimgRoot, error)) return studies;
  mediumReadable = true;
  RefimgWalk walk;
  struct stat root;
  // A REFIMG that is a link off the medium is not followed.
  if (examineListedEntry(refimgRoot.string(), walk.mediumRoot, root) != ListedKind::directory) return studies;
  walk.enter(root);

  std::vector<fs::path> entries;
  listSortedDirectory(refimgRoot, entries);
  int k = 0;
  for (const fs::path &entry : entries) {
    // A folder that cannot be examined or has no record gets no branch and
    // takes no index.
    try {
      bool unreadable = false;
      if (!isFolderToEnter(entry, walk, unreadable)) {
        if (!unreadable) continue;
        mediumReadable = false;
      } else if (const StudyMetadata *record = recordAt(k, 0)) {
        attachBranch(tree, newLabelBranch(studyLabel(*record), 0), nullptr);
        studies[k] = seriesBranchesOf(tree, k, entry, walk);
      } else {
        continue;
      }
      if (!mediumReadable) {
        trace("return empty studies");
        return {};
      }
      ++k;
    } catch (const fs::filesystem_error &) {
    }
  }
  return studies;
}

SeriesThumbnails buildSeriesBranches(BranchTree &tree, int studyIndex, const fs::path &studyDir) {
  RefimgWalk walk;
  struct stat study;
  if (examineListedEntry(studyDir.string(), walk.mediumRoot, study) != ListedKind::directory) return {};
  walk.enter(study);
  return seriesBranchesOf(tree, studyIndex, studyDir, walk);
}

namespace {

SeriesThumbnails seriesBranchesOf(BranchTree &tree, int studyIndex, const fs::path &studyDir,
                                  RefimgWalk &walk) {
  SeriesThumbnails series;
  std::vector<fs::path> entries;
  if (!listEnteredFolder(studyDir, entries)) {
    trace("return empty series");
    return {};
  }
  int j = 0;
  for (const fs::path &entry : entries) {
    try {
      bool unreadable = false;
      if (!isFolderToEnter(entry, walk, unreadable)) {
        if (!unreadable) continue;
        mediumReadable = false;
      } else if (const StudyMetadata *record = recordAt(studyIndex, j)) {
        if (GtkWidget *study = childBranch(tree, nullptr, studyIndex))
          attachBranch(tree, newLabelBranch(seriesLabel(*record, j), 1), childrenContainer(study));
        series[j] = loadSeriesImages(tree, studyIndex, j, entry);
      } else {
        continue;
      }
      if (!mediumReadable) {
        trace("return empty series");
        return {};
      }
      ++j;
    } catch (const fs::filesystem_error &) {
    }
  }
  return series;
}

}  // namespace
