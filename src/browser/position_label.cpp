// The control bar's position label and the picture's accessible name.
#include "browser/position_label.h"

#include "browser/browser_state.h"
#include "browser/current_position.h"
#include "browser/rules/key_map.h"
#include "ui/keyboard_access.h"

GtkWidget *buildPositionLabel() {
  GtkWidget *alignment = gtk_alignment_new(0.5, 0.5, 0, 0);
  browser.positionLabel = gtk_label_new("");
  g_signal_connect(browser.positionLabel, "destroy", G_CALLBACK(gtk_widget_destroyed),
                   &browser.positionLabel);
  gtk_container_add(GTK_CONTAINER(alignment), browser.positionLabel);
  return alignment;
}

void showPositionLabel(bool pictureShown) {
  if (browser.positionLabel != nullptr) {
    int count = static_cast<int>(currentSeriesThumbnails().size());
    gtk_label_set_text(
        GTK_LABEL(browser.positionLabel),
        pictureShown ? positionText(browser.currentImage, count, browser.zoomFactor).c_str() : "");
  }
  if (browser.imageView != nullptr && browser.infoLabel != nullptr)
    setAccessibleName(browser.imageView, gtk_label_get_text(GTK_LABEL(browser.infoLabel)));
}
