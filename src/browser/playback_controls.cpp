// The play button's look and the sensitivity of the controls playback stops.
#include "browser/playback_controls.h"

#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "ui/keyboard_access.h"

#include <gtk/gtk.h>

namespace {

const char *const kStartTooltip = " Rozpocznij odtwarzanie serii ";
const char *const kStopTooltip = " Zatrzymaj odtwarzanie serii ";

}  // namespace

void showPlaybackControls() {
  for (GtkWidget *control : {browser.nextImageButton, browser.nextSeriesButton, browser.prevImageButton,
                             browser.prevSeriesButton, browser.treeScroller})
    gtk_widget_set_sensitive(control, !browser.cinePlaying);
  const char *picture = browser.cinePlaying ? "/img/stop.png" : "/img/play.png";
  gtk_button_set_image(GTK_BUTTON(browser.playButton), gtk_image_new_from_file(picturePath(picture).c_str()));
  setTooltipAndName(browser.playButton, browser.cinePlaying ? kStopTooltip : kStartTooltip);
}
