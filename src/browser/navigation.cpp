// Stepping through images and series, keeping the shown thumbnail in view,
// and zooming the large picture.
#include "browser/navigation.h"

#include "base/quit_request.h"
#include "browser/browser_input.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/thumbnail_index.h"
#include "tree/branch_tree.h"
#include "ui/palette.h"

#include <algorithm>

namespace {

// How far below a target the tree must still show for it to count as near the end.
constexpr double kTargetBelow = 64.0;

int studyCount(const CatalogueShape &shape) { return static_cast<int>(shape.size()); }

int seriesCount(const CatalogueShape &shape, int study) {
  if (study < 0 || study >= studyCount(shape)) return 0;
  return static_cast<int>(shape[study].size());
}

// Steps come faster than pictures can be shown when a key is held: a step
// only moves the position, and the position is shown once the input queued
// before it has been handled, so that a run of steps draws its last position
// only.
guint pendingShow = 0;
bool showingPosition = false;

// Shows the picture of the current position, unfolding and scrolling the tree
// to its thumbnail. A position without a thumbnail shows nothing. Unfolding
// runs the pending input, which may step on: the newest position is then
// revealed in its turn, and one already passed is never drawn.
void showPositionNow() {
  if (pendingShow != 0) {
    g_source_remove(pendingShow);
    pendingShow = 0;
  }
  if (browserWindow == nullptr) return;
  showingPosition = true;
  GtkWidget *thumbnail = currentThumbnail();
  while (thumbnail != nullptr && !quitRequested()) {
    revealThumbnail(thumbnail);
    GtkWidget *now = currentThumbnail();
    if (now == thumbnail) {
      selectThumbnail(thumbnail);
      showCurrentImage();
      break;
    }
    thumbnail = now;
  }
  showingPosition = false;
}

gboolean onPendingShow(gpointer) {
  pendingShow = 0;
  showPositionNow();
  return G_SOURCE_REMOVE;
}

void showPosition() {
  // While a position is being shown, its loop picks the new one up.
  if (showingPosition || pendingShow != 0) return;
  // Below the input's priority, and below redrawing and layout.
  pendingShow = gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, onPendingShow, nullptr, nullptr);
}

// A series step that lands on an empty series: the picture and the line's text
// go, the selection stays but is no longer framed.
void clearImageView() {
  if (pendingShow != 0) {
    g_source_remove(pendingShow);
    pendingShow = 0;
  }
  clearShownPicture();
  gtk_label_set_text(GTK_LABEL(infoLabel), "");
  if (selectedThumbnail != nullptr) setThumbnailFrameColour(selectedThumbnail, colorBlack);
  showWhereAmI();
}

void showSeriesStart() {
  if (currentSeriesThumbnails().empty())
    clearImageView();
  else
    showPosition();
}

// Zoom acts only on a shown series with pictures.
bool zoomApplies() { return currentStudy != -1 && currentSeries != -1 && !currentSeriesThumbnails().empty(); }

void centreAdjustment(GtkAdjustment *adjustment, int pictureSide, int viewSide) {
  // A negative value (a picture smaller than the view) is clamped to the
  // start, where the centring alignment already centres the picture.
  gtk_adjustment_set_value(adjustment, (pictureSide - viewSide) / 2);
}

}  // namespace

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

int seriesLength(const CatalogueShape &shape, int study, int series) {
  if (series < 0 || series >= seriesCount(shape, study)) return 0;
  return shape[study][series];
}

// ---- Step rules ----

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

double zoomedInFactor(int width, int height, double factor) {
  return std::max(factor, std::min(factor * kZoomStep, largestUsefulZoom(width, height)));
}

double fitViewFactor(int width, int height, int viewWidth, int viewHeight) {
  if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0) return 1.0;
  double factor = std::min(static_cast<double>(viewWidth) / width, static_cast<double>(viewHeight) / height);
  return std::min(factor, static_cast<double>(kLargestShownSide) / std::max(width, height));
}

// ---- The shown position ----

void showPendingStep() {
  if (pendingShow != 0) showPositionNow();
}

BrowserPosition currentPosition() { return {currentStudy, currentSeries, currentImage}; }

void setCurrentPosition(const BrowserPosition &position) {
  currentStudy = position.study;
  currentSeries = position.series;
  currentImage = position.image;
}

const std::vector<GtkWidget *> &currentSeriesThumbnails() {
  static const std::vector<GtkWidget *> none;
  auto study = ThumbnailIndex.find(currentStudy);
  if (study == ThumbnailIndex.end()) return none;
  auto series = study->second.find(currentSeries);
  if (series == study->second.end()) return none;
  return series->second;
}

GtkWidget *currentThumbnail() {
  const std::vector<GtkWidget *> &thumbnails = currentSeriesThumbnails();
  if (currentImage < 0 || currentImage >= static_cast<int>(thumbnails.size())) return nullptr;
  return thumbnails[currentImage];
}

void revealThumbnail(GtkWidget *thumbnail) {
  expandPathTo(thumbnail);
  scrollTreeTo(treeOffsetOf(thumbnail));
}

void scrollTreeTo(int offset) {
  GtkAdjustment *adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(treeScroller));
  gtk_adjustment_set_value(
      adjustment,
      treeScrollValue(offset, lastTreeTarget, gtk_adjustment_get_upper(adjustment),
                      gtk_adjustment_get_page_size(adjustment), gtk_adjustment_get_value(adjustment)));
  lastTreeTarget = offset;
}

void centreImageView() {
  auto [width, height] = viewedPictureSize();
  if (width == 0) return;
  GtkAllocation view;
  gtk_widget_get_allocation(imageScroller, &view);
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(imageScroller);
  centreAdjustment(gtk_scrolled_window_get_vadjustment(scroller), height, view.height);
  centreAdjustment(gtk_scrolled_window_get_hadjustment(scroller), width, view.width);
}

// ---- Step and zoom button handlers ----

void onPrevImage(GtkButton *, gpointer) {
  setCurrentPosition(previousImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void onNextImage(GtkButton *, gpointer) {
  setCurrentPosition(nextImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void onPrevSeries(GtkButton *, gpointer) {
  setCurrentPosition(previousSeriesPosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showSeriesStart();
}

void onNextSeries(GtkButton *, gpointer) {
  setCurrentPosition(nextSeriesPosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showSeriesStart();
}

void onZoomIn(GtkButton *, gpointer) {
  showPendingStep();
  if (!zoomApplies()) return;
  const FullPictureSource *original = fullPictureSourceOf(selectedThumbnail);
  if (original == nullptr) return;
  double zoomed = zoomedInFactor(original->width, original->height, zoomFactor);
  // At the largest size the press changes nothing.
  if (zoomed == zoomFactor) return;
  zoomFitsView = false;
  zoomFactor = zoomed;
  showCurrentImage();
  centreImageView();
}

void onZoomOut(GtkButton *, gpointer) {
  showPendingStep();
  if (!zoomApplies()) return;
  zoomFitsView = false;
  zoomFactor /= kZoomStep;
  // At the smallest size the step is undone, so the press changes nothing.
  if (showCurrentImage() == kSmallestShownSide) {
    zoomFactor *= kZoomStep;
    showCurrentImage();
  }
  centreImageView();
}

// ---- Actions without a button of their own ----

void showFirstImage() {
  setCurrentPosition(firstImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void showLastImage() {
  setCurrentPosition(lastImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void toggleFitToView() {
  showPendingStep();
  if (!zoomApplies()) return;
  if (zoomFitsView) {
    zoomFitsView = false;
    zoomFactor = 1.0;
  } else {
    zoomFitsView = true;
  }
  showCurrentImage();
  centreImageView();
}
