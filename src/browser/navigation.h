// Stepping through images and series of the reference-image browser, the tree
// scrolling that keeps the shown thumbnail in view, and the zoom of the large
// picture. Main thread only.
#pragma once

#include "browser/current_position.h"
#include "browser/rules/position_rules.h"
#include "browser/rules/zoom_rules.h"

#include <gtk/gtk.h>

// ---- The shown position ----

// The step buttons move the position at once and show it once the input
// queued before them has been handled (a held key's steps are merged). Shows
// a step not shown yet now, for actions that work on the shown picture.
void showPendingStep();

// Unfolds the tree down to `thumbnail` and scrolls it into view.
void revealThumbnail(GtkWidget *thumbnail);

// Moves the tree's vertical scroll position to show tree offset `offset`.
void scrollTreeTo(int offset);

// Centres both scroll positions of the image area on the shown picture.
void centreImageView();

// ---- Step and zoom button handlers ----

void onPrevImage(GtkButton *button, gpointer data);
void onNextImage(GtkButton *button, gpointer data);
void onPrevSeries(GtkButton *button, gpointer data);
void onNextSeries(GtkButton *button, gpointer data);
void onZoomIn(GtkButton *button, gpointer data);
void onZoomOut(GtkButton *button, gpointer data);

// ---- Actions without a button of their own (keys and the mouse) ----
// They act under the conditions of the button named beside them.

// Home and End: like the previous and next image buttons.
void showFirstImage();
void showLastImage();
// Double click on the picture: fit the view, or back to 1:1 from there. Like zoom.
void toggleFitToView();
