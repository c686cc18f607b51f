// The browser's large picture and information line, and the selection frame
// of the thumbnails. Runs with the toolkit's lock held.
#pragma once

#include <gtk/gtk.h>

// Shows selectedThumbnail's full-size picture scaled by zoomFactor (each side
// at least 20 pixels) and rebuilds the information line for the current
// series. Returns the smaller scaled side, or 0 when nothing is selected.
int showCurrentImage();

// Frames `thumbnail` dark red and makes it selectedThumbnail; the previous
// selection's frame turns black.
void selectThumbnail(GtkWidget *thumbnail);

// Sets the background of a thumbnail's frame (its parent event box).
void setThumbnailFrameColour(GtkWidget *thumbnail, const GdkColor &colour);
