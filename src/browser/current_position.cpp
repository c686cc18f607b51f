// The browser's position as one value, and the thumbnails it points at.
#include "browser/current_position.h"

#include "browser/browser_state.h"

#include <algorithm>

CatalogueShape catalogueShape(const ThumbnailMap &index) {
  CatalogueShape shape;
  if (index.empty()) return shape;
  int studies = std::max(0, index.rbegin()->first + 1);
  shape.resize(studies);
  for (const auto &study : index) {
    if (study.first < 0 || study.second.empty()) continue;
    std::vector<int> &lengths = shape[study.first];
    lengths.resize(std::max(0, study.second.rbegin()->first + 1), 0);
    for (const auto &series : study.second)
      if (series.first >= 0) lengths[series.first] = static_cast<int>(series.second.size());
  }
  return shape;
}

BrowserPosition currentPosition() {
  return {browser.currentStudy, browser.currentSeries, browser.currentImage};
}

void setCurrentPosition(const BrowserPosition &position) {
  browser.currentStudy = position.study;
  browser.currentSeries = position.series;
  browser.currentImage = position.image;
}

const std::vector<GtkWidget *> &currentSeriesThumbnails() {
  static const std::vector<GtkWidget *> none;
  auto study = ThumbnailIndex.find(browser.currentStudy);
  if (study == ThumbnailIndex.end()) return none;
  auto series = study->second.find(browser.currentSeries);
  if (series == study->second.end()) return none;
  return series->second;
}

GtkWidget *currentThumbnail() {
  const std::vector<GtkWidget *> &thumbnails = currentSeriesThumbnails();
  if (browser.currentImage < 0 || browser.currentImage >= static_cast<int>(thumbnails.size())) return nullptr;
  return thumbnails[browser.currentImage];
}
