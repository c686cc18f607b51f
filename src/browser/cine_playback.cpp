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

// Playback's timer and schedule.
struct CinePlayback {
  // The pending frame's timer, 0 when none runs. There is never more than one,
  // so a stop followed at once by a start still advances once per interval.
  guint cineTimer = 0;
  // Frames are due on a fixed schedule, one interval apart from the start, so a
  // frame that runs late (a busy machine, a large picture) does not push the
  // later ones back. When the pictures take longer than the interval, the loop
  // still gets this pause between two frames for everything else.
  gint64 nextFrameDue = 0;  // monotonic clock, microseconds
};
// Process-wide: the frame timer's callback reaches it without data.
CinePlayback playback;

constexpr gint64 kShortestPause = 5;  // milliseconds

// Draws the widget now instead of at the main loop's next repaint.
void redrawNow(GtkWidget *widget) {
  gtk_widget_queue_draw(widget);
  if (GdkWindow *window = gtk_widget_get_window(widget)) gdk_window_process_updates(window, TRUE);
}

void setPlayButtonLook(const char *picture, const char *tooltip) {
  gtk_button_set_image(GTK_BUTTON(browser.playButton), gtk_image_new_from_file(picturePath(picture).c_str()));
  setTooltipAndName(browser.playButton, tooltip);
}

// Steps and the tree could change the series under the playback, so they are
// disabled while it runs.
void setSeriesControlsSensitive(bool sensitive) {
  for (GtkWidget *control : {browser.nextImageButton, browser.nextSeriesButton, browser.prevImageButton,
                             browser.prevSeriesButton, browser.treeScroller})
    gtk_widget_set_sensitive(control, sensitive);
}

gboolean onCineTimer(gpointer);

void scheduleNextFrame() {
  gint64 wait = (playback.nextFrameDue - g_get_monotonic_time() + 999) / 1000;
  wait = std::clamp<gint64>(wait, kShortestPause, kCineFrameInterval);
  playback.cineTimer = gdk_threads_add_timeout(static_cast<guint>(wait), onCineTimer, nullptr);
}

gboolean onCineTimer(gpointer) {
  playback.cineTimer = 0;
  if (!browser.cinePlaying) return FALSE;
  showNextCineFrame();
  playback.nextFrameDue += kCineFrameInterval * 1000;
  // More than an interval behind: start the schedule afresh instead of
  // showing the missed frames in a burst.
  playback.nextFrameDue = std::max(playback.nextFrameDue, g_get_monotonic_time());
  scheduleNextFrame();
  return FALSE;
}

void startCinePlayback() {
  if (browser.selectedThumbnail != nullptr) setThumbnailFrameColour(browser.selectedThumbnail, colorBlack);
  if (GtkWidget *start = currentThumbnail()) revealThumbnail(start);
  // The frames to come are decoded from now on, so that the first ones are
  // full pictures already.
  requestFullPictures(currentThumbnail(), currentSeriesThumbnails(), browser.currentImage);
  browser.cinePlaying = true;
  setPlayButtonLook("/img/stop.png", kStopTooltip);
  if (playback.cineTimer != 0) g_source_remove(playback.cineTimer);
  playback.nextFrameDue = g_get_monotonic_time() + kCineFrameInterval * 1000;
  scheduleNextFrame();
}

}  // namespace

void showNextCineFrame() {
  const std::vector<GtkWidget *> &thumbnails = currentSeriesThumbnails();
  if (thumbnails.empty()) return;
  int last = static_cast<int>(thumbnails.size()) - 1;
  browser.currentImage =
      (browser.currentImage < 0 || browser.currentImage >= last) ? 0 : browser.currentImage + 1;
  browser.selectedThumbnail = thumbnails[browser.currentImage];
  showCurrentImage();
  redrawNow(browser.imageView);
}

void stopCinePlayback() {
  setSeriesControlsSensitive(true);
  browser.cinePlaying = false;
  setPlayButtonLook("/img/play.png", kStartTooltip);
  if (playback.cineTimer != 0) {
    g_source_remove(playback.cineTimer);
    playback.cineTimer = 0;
  }
  GtkWidget *last = currentThumbnail();
  if (last == nullptr) return;
  revealThumbnail(last);
  selectThumbnail(last);
  showCurrentImage();
  redrawNow(browser.imageView);
  redrawNow(browser.treeScroller);
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

  if (browser.cinePlaying) {
    stopCinePlayback();
  } else {
    setSeriesControlsSensitive(false);
    startCinePlayback();
  }
}
