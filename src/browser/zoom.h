// Zoom of the browser's large picture and centring of the image area.
// Main thread only.
#pragma once

#include <gtk/gtk.h>

// Each zoom press scales the picture by this factor, up or down.
constexpr double kZoomStep = 1.2;

// Whether a width x height picture may still be zoomed in from `factor`:
// zooming in stops before the longer side would pass kLargestShownSide.
bool zoomInFits(int width, int height, double factor);

// Centres both scroll positions of the image area on the shown picture.
void centreImageView();

// ---- Zoom button handlers ----

void onZoomIn(GtkButton *button, gpointer data);
void onZoomOut(GtkButton *button, gpointer data);
