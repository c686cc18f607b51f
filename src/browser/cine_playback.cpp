// Cine playback of the current series on a main-loop timer.
#include "browser/cine_playback.h"

#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "browser/playback_controls.h"

#include <algorithm>

namespace {

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
  // What a frame's turn runs.
  void (*frameDue)() = nullptr;
};
// Process-wide: the frame timer's callback reaches it without data.
CinePlayback playback;

constexpr gint64 kShortestPause = 5;  // milliseconds

// Draws the widget now instead of at the main loop's next repaint.
void redrawNow(GtkWidget *widget) {
  gtk_widget_queue_draw(widget);
  if (GdkWindow *window = gtk_widget_get_window(widget)) gdk_window_process_updates(window, TRUE);
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
  playback.frameDue();
  playback.nextFrameDue += kCineFrameInterval * 1000;
  // More than an interval behind: start the schedule afresh instead of
  // showing the missed frames in a burst.
  playback.nextFrameDue = std::max(playback.nextFrameDue, g_get_monotonic_time());
  scheduleNextFrame();
  return FALSE;
}

void startCinePlayback(void (*frameDue)()) {
  browser.cinePlaying = true;
  showPlaybackControls();
  showSelectionFrame();
  if (GtkWidget *start = currentThumbnail()) revealThumbnail(start);
  // The frames to come are decoded from now on, so that the first ones are
  // full pictures already.
  requestFullPictures(currentThumbnail(), currentSeriesThumbnails(), browser.currentImage);
  playback.frameDue = frameDue;
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
  browser.cinePlaying = false;
  showPlaybackControls();
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

void togglePlayback(void (*frameDue)()) {
  // Playback starts from the position the steps before it reached.
  showPendingStep();
  BrowserPosition position = currentPosition();
  if (position.study == -1) position.study = 0;
  if (position.series == -1) position.series = 0;
  if (position.image == -1) position.image = 0;
  setCurrentPosition(position);
  if (currentSeriesThumbnails().empty()) return;

  if (browser.cinePlaying)
    stopCinePlayback();
  else
    startCinePlayback(frameDue);
}
