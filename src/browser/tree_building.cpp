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
#include "platform/directories.h"

#include <set>

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
// entered, by their file identity. A link to a folder entered before (an
// ancestor above all) is passed over as the DICOM scan passes it over, so the
// two trees keep pairing by position.
struct RefimgWalk {
  std::string mediumRoot = resolvedMediumRoot();
  std::set<platform::FileIdentity> entered;

  // Marks `directory` entered; false when it was entered before.
  bool enter(const platform::EntryStatus &directory) { return entered.insert(directory.identity).second; }
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
  platform::EntryStatus status;
  int error = 0;
  ListedKind kind = examineListedEntry(entry.string(), walk.mediumRoot, status, &error);
  if (kind == ListedKind::directory) {
    if (!walk.enter(status)) return FolderOutcome::passedOver;
    if (listSortedDirectory(entry, entries, &error)) return FolderOutcome::listed;
  } else if (kind != ListedKind::unreadable) {
    return FolderOutcome::passedOver;
  }
  if (mediumFailsAfter(error)) return FolderOutcome::mediumFails;
  reportSkippedEntry(entry.string(), platform::errorText(error));
  return FolderOutcome::passedOver;
}

SeriesThumbnails seriesBranchesOf(BranchTree &tree, int studyIndex,
                                  const std::vector<fs::path> &seriesFolders, RefimgWalk &walk);

// The walk the study and series levels share. Each folder is opened in turn:
// one passed over takes no index; one that `visit` gives a branch takes the
// next index; a failing medium (there or in `visit`) ends the walk empty, with
// `emptyTrace` on the trace.
template <typename Branches, typename Visit>
Branches walkListedFolders(const std::vector<fs::path> &folders, RefimgWalk &walk, const char *emptyTrace,
                           Visit visit) {
  Branches branches;
  int index = 0;
  for (const fs::path &entry : folders) {
    // A folder that cannot be examined or has no record gets no branch and
    // takes no index.
    try {
      std::vector<fs::path> contents;
      FolderOutcome outcome = openListedFolder(entry, walk, contents);
      if (outcome == FolderOutcome::passedOver) continue;
      if (outcome == FolderOutcome::mediumFails)
        mediumReadable = false;
      else if (!visit(branches, index, contents))
        continue;
      if (!mediumReadable) {
        trace(emptyTrace);
        return {};
      }
      ++index;
    } catch (const fs::filesystem_error &) {
    }
  }
  return branches;
}

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
  platform::EntryStatus root;
  // A REFIMG that is a link off the medium is not followed.
  if (examineListedEntry(refimgRoot.string(), walk.mediumRoot, root) != ListedKind::directory) return studies;
  walk.enter(root);

  std::vector<fs::path> entries;
  listSortedDirectory(refimgRoot, entries);
  return walkListedFolders<ThumbnailMap>(
      entries, walk, "return empty studies",
      [&](ThumbnailMap &branches, int k, const std::vector<fs::path> &seriesFolders) {
        const StudyMetadata *record = recordAt(k, 0);
        if (record == nullptr) return false;
        attachBranch(tree, newLabelBranch(studyLabel(*record), 0), nullptr);
        branches[k] = seriesBranchesOf(tree, k, seriesFolders, walk);
        return true;
      });
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
  return walkListedFolders<SeriesThumbnails>(
      seriesFolders, walk, "return empty series",
      [&](SeriesThumbnails &branches, int j, const std::vector<fs::path> &pictures) {
        const StudyMetadata *record = recordAt(studyIndex, j);
        if (record == nullptr) return false;
        if (GtkWidget *study = childBranch(tree, nullptr, studyIndex))
          attachBranch(tree, newLabelBranch(seriesLabel(*record, j), 1), childrenContainer(study));
        branches[j] = loadListedSeries(tree, studyIndex, j, pictures);
        return true;
      });
}

}  // namespace
