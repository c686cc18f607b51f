// The load progress on the main window's bar during the browser's tree build.
#include "browser/load_progress.h"

#include "base/quit_request.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "ui/ui_state.h"

#include <gtk/gtk.h>

double loadProgressFraction(int loaded, int total) {
  if (total <= 0 || loaded <= 0) return 0.0;
  // Series folders may hold subfolders, which count as entries but not as
  // files, so the count can pass the total.
  if (loaded >= total) return 1.0;
  return static_cast<double>(loaded) / static_cast<double>(total);
}

std::string loadProgressText(double fraction) {
  char text[128];
  g_snprintf(text, sizeof text, "Ładowanie obrazów: %.0f%%", fraction * 100);
  return text;
}

bool loadMustEnd() { return quitRequested(); }

bool advanceLoadProgress() {
  double fraction = loadProgressFraction(loadedImageCount, totalImageCount);
  ++loadedImageCount;
  if (loadProgressBar != nullptr) {
    GtkProgressBar *bar = GTK_PROGRESS_BAR(loadProgressBar);
    std::string text = loadProgressText(fraction);
    const gchar *shown = gtk_progress_bar_get_text(bar);
    // The bar is read in whole percent; updating it at every entry would cost a
    // relayout of the main window and a redraw per picture.
    if (shown == nullptr || text != shown) {
      gtk_progress_bar_set_fraction(bar, fraction);
      gtk_progress_bar_set_text(bar, text.c_str());
      gtk_widget_queue_draw(loadProgressBar);
      if (GdkWindow *window = gtk_widget_get_window(loadProgressBar))
        gdk_window_process_updates(window, TRUE);
    }
  }
  // A quit request ends the drain too: the events may be endless redraws.
  while (!loadMustEnd() && gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return !loadMustEnd();
}
