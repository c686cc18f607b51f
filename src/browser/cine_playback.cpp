// Cine playback of the current series on a main-loop timer.
#include "browser/cine_playback.h"

#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"

#include <algorithm>

namespace {

const char *const kStartTooltip = " Rozpocznij odtwarzanie serii ";
const char *const kStopTooltip = " Zatrzymaj odtwarzanie serii ";

// The pending frame's timer, 0 when none runs. There is never more than one,
// so a stop followed at once by a start still advances once per interval.
guint cineTimer = 0;

// Frames are due on a fixed schedule, one interval apart from the start, so a
// frame that runs late (a busy machine, a large picture) does not push the
// later ones back. When the pictures take longer than the interval, the loop
// still gets this pause between two frames for everything else.
gint64 nextFrameDue = 0;              // monotonic clock, microseconds
constexpr gint64 kShortestPause = 5;  // milliseconds

// Draws the widget now instead of at the main loop's next repaint.
void redrawNow(GtkWidget *widget) {
  gtk_widget_queue_draw(widget);
  if (GdkWindow *window = gtk_widget_get_window(widget)) gdk_window_process_updates(window, TRUE);
}

void setPlayButtonLook(const char *picture, const char *tooltip) {
  gtk_button_set_image(GTK_BUTTON(playButton), gtk_image_new_from_file(picturePath(picture).c_str()));
  setTooltipAndName(playButton, tooltip);
}

// Steps and the tree could change the series under the playback, so they are
// disabled while it runs.
void setSeriesControlsSensitive(bool sensitive) {
  for (GtkWidget *control :
       {nextImageButton, nextSeriesButton, prevImageButton, prevSeriesButton, treeScroller})
    gtk_widget_set_sensitive(control, sensitive);
}

gboolean onCineTimer(gpointer);

void scheduleNextFrame() {
  gint64 wait = (nextFrameDue - g_get_monotonic_time() + 999) / 1000;
  wait = std::clamp<gint64>(wait, kShortestPause, kCineFrameInterval);
  cineTimer = gdk_threads_add_timeout(static_cast<guint>(wait), onCineTimer, nullptr);
}

gboolean onCineTimer(gpointer) {
  cineTimer = 0;
  if (!cinePlaying) return FALSE;
  showNextCineFrame();
  nextFrameDue += kCineFrameInterval * 1000;
  // More than an interval behind: start the schedule afresh instead of
  // showing the missed frames in a burst.
  nextFrameDue = std::max(nextFrameDue, g_get_monotonic_time());
  scheduleNextFrame();
  return FALSE;
}

void startCinePlayback() {
  if (selectedThumbnail != nullptr) setThumbnailFrameColour(selectedThumbnail, colorBlack);
  if (GtkWidget *start = currentThumbnail()) revealThumbnail(start);
  // The frames to come are decoded from now on, so that the first ones are
  // full pictures already.
  requestFullPictures(currentThumbnail(), currentSeriesThumbnails(), currentImage);
  cinePlaying = true;
  setPlayButtonLook("/img/stop.png", kStopTooltip);
  if (cineTimer != 0) g_source_remove(cineTimer);
  nextFrameDue = g_get_monotonic_time() + kCineFrameInterval * 1000;
  scheduleNextFrame();
}

}  // namespace

void showNextCineFrame() {
  const std::vector<GtkWidget *> &thumbnails = currentSeriesThumbnails();
  if (thumbnails.empty()) return;
  int last = static_cast<int>(thumbnails.size()) - 1;
  currentImage = (currentImage < 0 || currentImage >= last) ? 0 : currentImage + 1;
  selectedThumbnail = thumbnails[currentImage];
  showCurrentImage();
  redrawNow(imageView);
}

void stopCinePlayback() {
  setSeriesControlsSensitive(true);
  cinePlaying = false;
  setPlayButtonLook("/img/play.png", kStartTooltip);
  if (cineTimer != 0) {
    g_source_remove(cineTimer);
    cineTimer = 0;
  }
  GtkWidget *last = currentThumbnail();
  if (last == nullptr) return;
  revealThumbnail(last);
  selectThumbnail(last);
  showCurrentImage();
  redrawNow(imageView);
  redrawNow(treeScroller);
}

// ---- Play button handler ----

void onPlayToggled(GtkButton *, gpointer) {
  // Playback starts from the position the steps before it reached.
  showPendingStep();
  BrowserPosition position = currentPosition();
  if (position.study == -1) position.study = 0;
  if (position.series == -1) position.series = 0;
  if (position.image == -1) position.image = 0;
  setCurrentPosition(position);
  if (currentSeriesThumbnails().empty()) return;

  if (cinePlaying) {
    stopCinePlayback();
  } else {
    setSeriesControlsSensitive(false);
    startCinePlayback();
  }
}
