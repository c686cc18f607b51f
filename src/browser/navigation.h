// What the browser's actions do: stepping through images and series, showing
// a pressed thumbnail, zooming, fitting and dragging the large picture, and
// the tree scrolling that keeps the shown thumbnail in view. Each changes the
// state, then has the view draw it. They are run by applyBrowserAction, which
// every input goes through. Main thread only.
#pragma once

#include "browser/current_position.h"
#include "browser/rules/position_rules.h"
#include "browser/rules/zoom_rules.h"

#include <gtk/gtk.h>

// ---- The shown position ----

// The step actions move the position at once and show it once the input
// queued before them has been handled (a held key's steps are merged). Shows
// a step not shown yet now, for actions that work on the shown picture.
void showPendingStep();

// Shows selectedThumbnail's full-size picture scaled by zoomFactor (each side
// at least 20 pixels) and rebuilds the information line for the current
// series. Returns the smaller scaled side, or 0 when nothing is selected.
// The full picture and those after it in the current series are asked of the
// workers; the thumbnail stands in until it comes. A zoomFactor past
// largestUsefulZoom of the picture is brought down to it, so that the next
// zoom-out press shows a smaller picture.
int showCurrentImage();

// Makes `thumbnail` selectedThumbnail and frames it; the previous selection's
// frame turns black.
void selectThumbnail(GtkWidget *thumbnail);

// Unfolds the tree down to `thumbnail` and scrolls it into view.
void revealThumbnail(GtkWidget *thumbnail);

// Moves the tree's vertical scroll position to show tree offset `offset`.
void scrollTreeTo(int offset);

// Centres both scroll positions of the image area on the shown picture.
void centreImageView();

// ---- Step and zoom actions of the control bar's buttons ----

void showPreviousImage();
void showNextImage();
void showPreviousSeries();
void showNextSeries();
void zoomIn();
void zoomOut();

// ---- Actions without a button of their own (keys and the mouse) ----
// They act under the conditions of the button named beside them.

// Home and End: like the previous and next image buttons.
void showFirstImage();
void showLastImage();
// Double click on the picture: fit the view, or back to 1:1 from there. Like zoom.
void toggleFitToView();

// ---- Actions of the pointer, the layout and the workers ----

// A press on a thumbnail: its position becomes the current one and its picture is shown.
void showPressedThumbnail(GtkWidget *thumbnail);
// A drag of the picture: the image area scrolls to the given positions, kept within the picture.
void scrollPictureTo(double x, double y);
// The image area was resized: a picture fitted to the view is fitted again.
void refitToView();
// A full picture was decoded (or failed): the shown position's takes its stand-in's place.
void showArrivedPicture();
