// The browser's actions: stepping, thumbnails, zoom, fit and drag, and the
// tree and image-area scrolling that goes with them.
#include "browser/navigation.h"

#include "base/quit_request.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/position_label.h"
#include "browser/thumbnail_index.h"
#include "tree/branch_tree.h"

#include <algorithm>

namespace {

// The step waiting to be shown, and whether one is being shown.
struct StepShow {
  // Steps come faster than pictures can be shown when a key is held: a step
  // only moves the position, and the position is shown once the input queued
  // before it has been handled, so that a run of steps draws its last position
  // only.
  guint pendingShow = 0;
  bool showingPosition = false;
};
// Process-wide: the idle callback that shows the step reaches it without data.
StepShow stepShow;

// Shows the picture of the current position, unfolding and scrolling the tree
// to its thumbnail. A position without a thumbnail shows nothing. Unfolding
// runs the pending input, which may step on: the newest position is then
// revealed in its turn, and one already passed is never drawn.
void showPositionNow() {
  if (stepShow.pendingShow != 0) {
    g_source_remove(stepShow.pendingShow);
    stepShow.pendingShow = 0;
  }
  if (browser.browserWindow == nullptr) return;
  stepShow.showingPosition = true;
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
  stepShow.showingPosition = false;
}

gboolean onPendingShow(gpointer) {
  stepShow.pendingShow = 0;
  showPositionNow();
  return G_SOURCE_REMOVE;
}

void showPosition() {
  // While a position is being shown, its loop picks the new one up.
  if (stepShow.showingPosition || stepShow.pendingShow != 0) return;
  // Below the input's priority, and below redrawing and layout.
  stepShow.pendingShow = gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, onPendingShow, nullptr, nullptr);
}

// A series step that lands on an empty series: the picture and the line's text
// go, the selection stays but is no longer framed.
void clearImageView() {
  if (stepShow.pendingShow != 0) {
    g_source_remove(stepShow.pendingShow);
    stepShow.pendingShow = 0;
  }
  clearShownPicture();
  showInformationLine();
  showSelectionFrame();
  showPositionLabel(false);
}

void showSeriesStart() {
  if (currentSeriesThumbnails().empty())
    clearImageView();
  else
    showPosition();
}

// Zoom acts only on a shown series with pictures.
bool zoomApplies() {
  return browser.currentStudy != -1 && browser.currentSeries != -1 && !currentSeriesThumbnails().empty();
}

// The factor that fits the picture into the image area as it is laid out now.
double fittedZoomFactor(int width, int height) {
  if (browser.imageScroller == nullptr) return browser.zoomFactor;
  GtkAllocation view;
  gtk_widget_get_allocation(browser.imageScroller, &view);
  return fitViewFactor(width, height, view.width, view.height);
}

// The zoom the selected picture is drawn at: fitted to the view while the fit
// holds, and never past the picture's largest useful zoom.
void settleZoom() {
  auto [width, height] = fullPictureSizeOf(browser.selectedThumbnail);
  if (width == 0) return;
  if (browser.zoomFitsView) browser.zoomFactor = fittedZoomFactor(width, height);
  browser.zoomFactor = std::min(browser.zoomFactor, largestUsefulZoom(width, height));
}

// Draws the selected picture with its line and position label.
int drawSelectedPicture() {
  settleZoom();
  int side = showPicture();
  if (side == 0) return 0;
  showInformationLine();
  showPositionLabel(true);
  return side;
}

// Sets the position to where `thumbnail` stands in ThumbnailIndex; a thumbnail
// that is not there leaves the position as it was.
void takePositionOf(GtkWidget *thumbnail) {
  for (const auto &study : ThumbnailIndex)
    for (const auto &series : study.second)
      for (size_t position = 0; position < series.second.size(); ++position)
        if (series.second[position] == thumbnail) {
          setCurrentPosition({study.first, series.first, static_cast<int>(position)});
          return;
        }
}

// Sets the adjustment's value, kept between its lower end and its upper end
// less a page.
void scrollWithin(GtkAdjustment *range, double value) {
  double end = gtk_adjustment_get_upper(range) - gtk_adjustment_get_page_size(range);
  gtk_adjustment_set_value(range, std::clamp(value, gtk_adjustment_get_lower(range), std::max(0.0, end)));
}

void centreAdjustment(GtkAdjustment *adjustment, int pictureSide, int viewSide) {
  // A negative value (a picture smaller than the view) is clamped to the
  // start, where the centring alignment already centres the picture.
  gtk_adjustment_set_value(adjustment, (pictureSide - viewSide) / 2);
}

}  // namespace

// ---- The shown position ----

void showPendingStep() {
  if (stepShow.pendingShow != 0) showPositionNow();
}

int showCurrentImage() {
  if (browser.selectedThumbnail == nullptr) return 0;
  requestFullPictures(browser.selectedThumbnail, currentSeriesThumbnails(), browser.currentImage);
  int side = drawSelectedPicture();
  if (side != 0) notifyPictureShown();
  return side;
}

void selectThumbnail(GtkWidget *thumbnail) {
  browser.selectedThumbnail = thumbnail;
  showSelectionFrame();
}

void revealThumbnail(GtkWidget *thumbnail) {
  expandPathTo(thumbnail);
  scrollTreeTo(treeOffsetOf(thumbnail));
}

void scrollTreeTo(int offset) {
  GtkAdjustment *adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(browser.treeScroller));
  gtk_adjustment_set_value(
      adjustment,
      treeScrollValue(offset, browser.lastTreeTarget, gtk_adjustment_get_upper(adjustment),
                      gtk_adjustment_get_page_size(adjustment), gtk_adjustment_get_value(adjustment)));
  browser.lastTreeTarget = offset;
}

void centreImageView() {
  auto [width, height] = viewedPictureSize();
  if (width == 0) return;
  GtkAllocation view;
  gtk_widget_get_allocation(browser.imageScroller, &view);
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(browser.imageScroller);
  centreAdjustment(gtk_scrolled_window_get_vadjustment(scroller), height, view.height);
  centreAdjustment(gtk_scrolled_window_get_hadjustment(scroller), width, view.width);
}

// ---- Step and zoom actions of the control bar's buttons ----

void showPreviousImage() {
  setCurrentPosition(previousImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void showNextImage() {
  setCurrentPosition(nextImagePosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showPosition();
}

void showPreviousSeries() {
  setCurrentPosition(previousSeriesPosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showSeriesStart();
}

void showNextSeries() {
  setCurrentPosition(nextSeriesPosition(currentPosition(), catalogueShape(ThumbnailIndex)));
  showSeriesStart();
}

void zoomIn() {
  showPendingStep();
  if (!zoomApplies()) return;
  const FullPictureSource *original = fullPictureSourceOf(browser.selectedThumbnail);
  if (original == nullptr) return;
  double zoomed = zoomedInFactor(original->width, original->height, browser.zoomFactor);
  // At the largest size the press changes nothing.
  if (zoomed == browser.zoomFactor) return;
  browser.zoomFitsView = false;
  browser.zoomFactor = zoomed;
  showCurrentImage();
  centreImageView();
}

void zoomOut() {
  showPendingStep();
  if (!zoomApplies()) return;
  browser.zoomFitsView = false;
  browser.zoomFactor /= kZoomStep;
  // At the smallest size the step is undone, so the press changes nothing.
  if (showCurrentImage() == kSmallestShownSide) {
    browser.zoomFactor *= kZoomStep;
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
  if (browser.zoomFitsView) {
    browser.zoomFitsView = false;
    browser.zoomFactor = 1.0;
  } else {
    browser.zoomFitsView = true;
  }
  showCurrentImage();
  centreImageView();
}

// ---- Actions of the pointer, the layout and the workers ----

void showPressedThumbnail(GtkWidget *thumbnail) {
  takePositionOf(thumbnail);
  if (thumbnail == browser.selectedThumbnail) return;
  selectThumbnail(thumbnail);
  showCurrentImage();
}

void scrollPictureTo(double x, double y) {
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(browser.imageScroller);
  scrollWithin(gtk_scrolled_window_get_hadjustment(scroller), x);
  scrollWithin(gtk_scrolled_window_get_vadjustment(scroller), y);
}

void refitToView() {
  if (!browser.zoomFitsView) return;
  showPendingStep();
  showCurrentImage();
  centreImageView();
}

void showArrivedPicture() {
  // Not while a step waits to be shown: the line already tells of the new position.
  if (browser.imageView == nullptr || browser.selectedThumbnail != currentThumbnail() ||
      !viewAwaitsFullPicture(browser.selectedThumbnail))
    return;
  drawSelectedPicture();
}
