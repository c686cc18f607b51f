// The browser's large picture, its information line and the selection frame
// of the thumbnails, drawn from the browser's state. Nothing here changes the
// state or asks for pictures: the actions do, then have these draw. Runs with
// the toolkit's lock held.
#pragma once

#include "catalogue/picture_decoder.h"

#include <gtk/gtk.h>

#include <functional>
#include <utility>

// The size of `thumbnail`'s full picture: the cached picture's, else the size
// its file declares, else its thumbnail's own (which then stands in for it);
// 0 x 0 for none.
std::pair<int, int> fullPictureSizeOf(GtkWidget *thumbnail);

// Draws selectedThumbnail's full picture scaled by zoomFactor (each side at
// least 20 pixels). A full picture the cache does not hold yet is stood in for
// by its thumbnail, scaled to the same size. Returns the smaller scaled side,
// or 0 when nothing is selected.
int showPicture();

// Takes the picture out of the view (an empty series was stepped to).
void clearShownPicture();

// The information line for the current series, with a note when the picture
// shown is only the thumbnail of one that cannot be read (the disc was taken
// out); empty while the view shows no picture.
void showInformationLine();

// Frames the selected thumbnail dark red while the position has pictures and
// no playback runs; the thumbnail framed before turns black.
void showSelectionFrame();

// Whether the view shows the stand-in of `thumbnail`'s full picture and
// drawing it again would show more: the full picture has come, or its
// decoding failed and the line does not say so yet.
bool viewAwaitsFullPicture(GtkWidget *thumbnail);

// The size at which the view shows its picture; 0 x 0 when it shows none.
std::pair<int, int> viewedPictureSize();

// The picture the view scales from: the full picture, or the thumbnail's own
// picture standing in for it; null when it shows none.
GdkPixbuf *viewedPixels();

// Called after every position's picture put into the view, each cine frame
// included (not when the full picture later takes its thumbnail's place):
// for measurements and tests. An empty function removes it.
void setPictureShownObserver(std::function<void()> observer);
// Tells the observer that a position's picture was put into the view.
void notifyPictureShown();

// Sets the background of a thumbnail's frame (its parent event box).
void setThumbnailFrameColour(GtkWidget *thumbnail, const GdkColor &colour);
