// The pixels of the thumbnails, kept within a byte budget. A disc may carry a
// hundred thousand pictures; their thumbnails cannot all stay in memory for
// the run. Every thumbnail keeps its place in the tree and its frame, but only
// those drawn most recently keep their own pixels: the others show a shared
// blank picture of the same size and are decoded again from the disc when
// they are drawn (their series is opened and they come into view). Main
// thread only.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>

// The budget in bytes of pixels (48 MiB, some 1,000 thumbnails, far more than
// a screen shows, unless changed): beyond it, the thumbnails drawn longest ago
// give theirs up.
constexpr size_t kDefaultThumbnailPixelBudget = 48u * 1024 * 1024;
void setThumbnailPixelBudget(size_t bytes);

// Takes the thumbnail `image` (inside its branch, showing its own pixels) into
// the budget; its pixels are given up beyond it, and decoded again from its
// full picture's source when its frame is drawn.
void keepThumbnailPixels(GtkWidget *image);

// Bytes of thumbnail pixels held now, and the number of thumbnails holding them.
size_t thumbnailPixelBytes();
size_t thumbnailsWithPixels();

// The picture a thumbnail shows while its own pixels are given up.
GdkPixbuf *blankThumbnail();
