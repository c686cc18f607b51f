// Building the browser's tree of studies and series from REFIMG. Folders are
// matched with the attribute records by position. Main thread only.
#include "browser/tree_building.h"

#include "base/medium_links.h"
#include "base/text.h"
#include "base/trace.h"
#include "browser/series_loading.h"
#include "browser/thumbnail_index.h"
#include "catalogue/directory_listing.h"
#include "catalogue/medium_failure.h"
#include "catalogue/reference_catalogue.h"

#include <cerrno>
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

// The outcome of opening one listed entry of REFIMG or of a study folder.
enum class FolderOutcome {
  listed,      // a folder to enter, listed into `entries`
  passedOver,  // not a folder to enter, or one that alone cannot be examined or listed
  mediumFails  // the medium itself fails: the whole build ends
};

// Examines a listed entry and, for a folder to enter, lists it. A folder that
// cannot be examined or listed while the medium is sound is passed over with
// a line saying why; it takes no index, as a folder without a record.
FolderOutcome openListedFolder(const fs::path &entry, RefimgWalk &walk, std::vector<fs::path> &entries) {
  struct stat status;
  ListedKind kind = examineListedEntry(entry.string(), walk.mediumRoot, status);
  int error = kind == ListedKind::unreadable ? errno : 0;
  if (kind == ListedKind::directory) {
    if (!walk.enter(status)) return FolderOutcome::passedOver;
    if (listSortedDirectory(entry, entries, &error)) return FolderOutcome::listed;
  } else if (kind != ListedKind::unreadable) {
    return FolderOutcome::passedOver;
  }
  if (mediumFailsAfter(error)) return FolderOutcome::mediumFails;
  reportSkippedEntry(entry.string(), g_strerror(error));
  return FolderOutcome::passedOver;
}

SeriesThumbnails seriesBranchesOf(BranchTree &tree, int studyIndex,
                                  const std::vector<fs::path> &seriesFolders, RefimgWalk &walk);

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
      std::vector<fs::path> seriesFolders;
      FolderOutcome outcome = openListedFolder(entry, walk, seriesFolders);
      if (outcome == FolderOutcome::passedOver) continue;
      if (outcome == FolderOutcome::mediumFails) {
        mediumReadable = false;
      } else if (const StudyMetadata *record = recordAt(k, 0)) {
        attachBranch(tree, newLabelBranch(studyLabel(*record), 0), nullptr);
        studies[k] = seriesBranchesOf(tree, k, seriesFolders, walk);
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
  std::vector<fs::path> seriesFolders;
  FolderOutcome outcome = openListedFolder(studyDir, walk, seriesFolders);
  if (outcome == FolderOutcome::listed) return seriesBranchesOf(tree, studyIndex, seriesFolders, walk);
  if (outcome == FolderOutcome::mediumFails) {
    mediumReadable = false;
    trace("return empty series");
  }
  return {};
}

namespace {

SeriesThumbnails seriesBranchesOf(BranchTree &tree, int studyIndex,
                                  const std::vector<fs::path> &seriesFolders, RefimgWalk &walk) {
  SeriesThumbnails series;
  int j = 0;
  for (const fs::path &entry : seriesFolders) {
    try {
      std::vector<fs::path> pictures;
      FolderOutcome outcome = openListedFolder(entry, walk, pictures);
      if (outcome == FolderOutcome::passedOver) continue;
      if (outcome == FolderOutcome::mediumFails) {
        mediumReadable = false;
      } else if (const StudyMetadata *record = recordAt(studyIndex, j)) {
        if (GtkWidget *study = childBranch(tree, nullptr, studyIndex))
          attachBranch(tree, newLabelBranch(seriesLabel(*record, j), 1), childrenContainer(study));
        series[j] = loadListedSeries(tree, studyIndex, j, pictures);
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
