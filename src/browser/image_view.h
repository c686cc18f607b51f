// The browser's large picture and information line, and the selection frame
// of the thumbnails. Runs with the toolkit's lock held.
#pragma once

#include "browser/rules/zoom_rules.h"
#include "catalogue/picture_decoder.h"

#include <gtk/gtk.h>

#include <functional>
#include <utility>

// Shows selectedThumbnail's full-size picture scaled by zoomFactor (each side
// at least 20 pixels) and rebuilds the information line for the current
// series. Returns the smaller scaled side, or 0 when nothing is selected.
// A full picture the cache does not hold is decoded on the workers; its
// thumbnail, scaled to the same size, stands in until it comes, and stays
// with a note on the information line when it cannot be read (the disc was
// taken out). The pictures after it in the current series are decoded ahead.
// A zoomFactor past largestUsefulZoom of the picture is brought down to it, so
// that the next zoom-out press shows a smaller picture.
int showCurrentImage();

// Takes the picture out of the view (an empty series was stepped to).
void clearShownPicture();

// The size at which the view shows its picture; 0 x 0 when it shows none.
std::pair<int, int> viewedPictureSize();

// The picture the view scales from: the full picture, or the thumbnail's own
// picture standing in for it; null when it shows none.
GdkPixbuf *viewedPixels();

// Called after every position's picture put into the view, each cine frame
// included (not when the full picture later takes its thumbnail's place):
// for measurements and tests. An empty function removes it.
void setPictureShownObserver(std::function<void()> observer);

// Frames `thumbnail` dark red and makes it selectedThumbnail; the previous
// selection's frame turns black.
void selectThumbnail(GtkWidget *thumbnail);

// Sets the background of a thumbnail's frame (its parent event box).
void setThumbnailFrameColour(GtkWidget *thumbnail, const GdkColor &colour);
