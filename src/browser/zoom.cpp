// Zoom of the browser's large picture and centring of the image area.
#include "browser/zoom.h"

#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/navigation.h"

#include <algorithm>

namespace {

// Zoom acts only on a shown series with pictures.
bool zoomApplies() { return currentStudy != -1 && currentSeries != -1 && !currentSeriesThumbnails().empty(); }

void centreAdjustment(GtkAdjustment *adjustment, int pictureSide, int viewSide) {
  // A negative value (a picture smaller than the view) is clamped to the
  // start, where the centring alignment already centres the picture.
  gtk_adjustment_set_value(adjustment, (pictureSide - viewSide) / 2);
}

}  // namespace

bool zoomInFits(int width, int height, double factor) {
  return factor * kZoomStep * std::max(width, height) < kLargestShownSide + 1.0;
}

void centreImageView() {
  if (gtk_image_get_storage_type(GTK_IMAGE(imageView)) != GTK_IMAGE_PIXBUF) return;
  GdkPixbuf *shown = gtk_image_get_pixbuf(GTK_IMAGE(imageView));
  if (shown == nullptr) return;
  GtkAllocation view;
  gtk_widget_get_allocation(imageScroller, &view);
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(imageScroller);
  centreAdjustment(gtk_scrolled_window_get_vadjustment(scroller), gdk_pixbuf_get_height(shown), view.height);
  centreAdjustment(gtk_scrolled_window_get_hadjustment(scroller), gdk_pixbuf_get_width(shown), view.width);
}

// ---- Zoom button handlers ----

void onZoomIn(GtkButton *, gpointer) {
  if (!zoomApplies()) return;
  if (GdkPixbuf *original = originalPicture(selectedThumbnail)) {
    if (!zoomInFits(gdk_pixbuf_get_width(original), gdk_pixbuf_get_height(original), zoomFactor)) return;
  }
  zoomFactor *= kZoomStep;
  showCurrentImage();
  centreImageView();
}

void onZoomOut(GtkButton *, gpointer) {
  if (!zoomApplies()) return;
  zoomFactor /= kZoomStep;
  // At the smallest size the step is undone, so the press changes nothing.
  if (showCurrentImage() == kSmallestShownSide) {
    zoomFactor *= kZoomStep;
    showCurrentImage();
  }
  centreImageView();
}
