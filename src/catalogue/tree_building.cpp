// Building the browser's tree of studies and series from REFIMG. Folders are
// matched with the attribute records by position. Main thread only.
#include "catalogue/tree_building.h"

#include "app/text.h"
#include "app/trace.h"
#include "catalogue/directory_listing.h"
#include "catalogue/series_loading.h"

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
  if (!fs::is_directory(refimgRoot, error)) return studies;

  int k = 0;
  for (const fs::path &entry : sortedDirectoryEntries(refimgRoot)) {
    // A folder that cannot be examined or has no record gets no branch and
    // takes no index.
    try {
      if (!fs::is_directory(entry)) continue;
      const StudyMetadata *record = recordAt(k, 0);
      if (record == nullptr) continue;
      attachBranch(tree, newLabelBranch(studyLabel(*record), 0), nullptr);
      studies[k] = buildSeriesBranches(tree, k, entry);
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
  SeriesThumbnails series;
  boost::system::error_code error;
  if (!fs::is_directory(studyDir, error)) return series;

  int j = 0;
  for (const fs::path &entry : sortedDirectoryEntries(studyDir)) {
    try {
      if (!fs::is_directory(entry)) continue;
      const StudyMetadata *record = recordAt(studyIndex, j);
      if (record == nullptr) continue;
      if (GtkWidget *study = childBranch(tree, nullptr, studyIndex))
        attachBranch(tree, newLabelBranch(seriesLabel(*record, j), 1), childrenContainer(study));
      series[j] = loadSeriesImages(tree, studyIndex, j, entry);
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
