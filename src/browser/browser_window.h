// The reference-image browser window: built with the catalogue on the first
// press on the reference-images tile, only hidden and shown again afterwards.
// Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Builds a control-bar button: flat, no frame space around the picture
// loaded from `picturePath`, `width` x 24 pixels.
GtkWidget *makeImageButton(const std::string &picturePath, int width);

// ---- Window and tile handlers ----

// "button_press_event" of the reference-images tile. Acts on single presses
// only (the double-press event of a quick second click is ignored) and not
// while a build runs. Always handles the press.
gboolean openReferenceBrowser(GtkWidget *tile, GdkEventButton *event, gpointer image);

// "delete-event" of the browser window: stops playback and hides the window,
// which keeps its tree, position, selection and zoom for the next opening.
gboolean onBrowserDelete(GtkWidget *window, GdkEvent *event, gpointer data);
