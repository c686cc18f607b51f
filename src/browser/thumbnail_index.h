// The browser's thumbnails by catalogue position, and the counters of the
// build that loads them. Main thread only (the cine frames read them under
// the toolkit's lock).
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <vector>

// Study index -> series index -> the series' thumbnail image widgets in load order.
using SeriesThumbnails = std::map<int, std::vector<GtkWidget *>>;
using ThumbnailMap = std::map<int, SeriesThumbnails>;

// Filled by a successful browser build; never rebuilt once non-empty.
extern ThumbnailMap ThumbnailIndex;
// Picture files under REFIMG, recounted at every build; the progress denominator.
extern int totalImageCount;
// Entries loaded so far in the build; the progress numerator.
extern int loadedImageCount;
// Lowered when a thumbnail cannot be read; the tree build then ends empty.
extern bool mediumReadable;
