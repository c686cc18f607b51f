// Where the step buttons and keys move the browser's position, and how far
// the tree scrolls.
#include "browser/rules/position_rules.h"

#include <algorithm>

namespace {

// How far below a target the tree must still show for it to count as near the end.
constexpr double kTargetBelow = 64.0;

int studyCount(const CatalogueShape &shape) { return static_cast<int>(shape.size()); }

int seriesCount(const CatalogueShape &shape, int study) {
  if (study < 0 || study >= studyCount(shape)) return 0;
  return static_cast<int>(shape[study].size());
}

}  // namespace

int seriesLength(const CatalogueShape &shape, int study, int series) {
  if (series < 0 || series >= seriesCount(shape, study)) return 0;
  return shape[study][series];
}

BrowserPosition previousImagePosition(BrowserPosition from, const CatalogueShape &shape) {
  BrowserPosition to = from;
  if (to.study == -1) to.study = 0;
  if (to.series == -1) to.series = 0;
  int length = seriesLength(shape, to.study, to.series);
  if (to.image <= 0 || to.image >= length)
    to.image = length - 1;
  else
    to.image -= 1;
  return to;
}

BrowserPosition nextImagePosition(BrowserPosition from, const CatalogueShape &shape) {
  BrowserPosition to = from;
  if (to.study == -1) to.study = 0;
  if (to.series == -1) to.series = 0;
  int length = seriesLength(shape, to.study, to.series);
  // From no position the step lands on the first image.
  if (to.image == -1) to.image = length - 1;
  if (to.image >= length - 1)
    to.image = 0;
  else
    to.image += 1;
  return to;
}

// A study without series has no last series to stop at: comparisons are by
// "at or past the end", so such a study is passed over instead of trapping the
// step inside it.
BrowserPosition previousSeriesPosition(BrowserPosition from, const CatalogueShape &shape) {
  BrowserPosition to = from;
  if (to.study == -1) to.study = 0;
  if (to.series == -1) to.series = 0;
  if (to.image == -1) to.image = 0;
  if (to.series <= 0) {
    to.study = to.study <= 0 ? studyCount(shape) - 1 : std::min(to.study, studyCount(shape)) - 1;
    to.series = seriesCount(shape, to.study) - 1;
  } else {
    to.series = std::min(to.series, seriesCount(shape, to.study)) - 1;
  }
  to.image = 0;
  return to;
}

BrowserPosition nextSeriesPosition(BrowserPosition from, const CatalogueShape &shape) {
  BrowserPosition to = from;
  // From no position the step lands on the first series of the first study.
  if (to.study == -1) to.study = studyCount(shape) - 1;
  if (to.series == -1) to.series = seriesCount(shape, to.study) - 1;
  if (to.image == -1) to.image = 0;
  if (to.series >= seriesCount(shape, to.study) - 1) {
    to.series = 0;
    to.study = to.study >= studyCount(shape) - 1 ? 0 : to.study + 1;
  } else {
    to.series += 1;
  }
  to.image = 0;
  return to;
}

BrowserPosition firstImagePosition(BrowserPosition from, const CatalogueShape &) {
  BrowserPosition to = from;
  if (to.study == -1) to.study = 0;
  if (to.series == -1) to.series = 0;
  to.image = 0;
  return to;
}

BrowserPosition lastImagePosition(BrowserPosition from, const CatalogueShape &shape) {
  BrowserPosition to = firstImagePosition(from, shape);
  to.image = std::max(0, seriesLength(shape, to.study, to.series) - 1);
  return to;
}

double treeScrollValue(int target, int lastTarget, double upper, double pageSize, double value) {
  double below = target + kTargetBelow;
  double end = std::max(0.0, upper - pageSize);
  double result;
  if (below >= pageSize * 0.5 + (upper - pageSize))
    result = end;
  else if (below <= pageSize * 0.5)
    result = 0.0;
  else
    result = value + (target - lastTarget);
  return std::clamp(result, 0.0, end);
}
