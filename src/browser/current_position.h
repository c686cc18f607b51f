// The browser's position read and written as one value, and the thumbnails it
// points at in ThumbnailIndex. Main thread only.
#pragma once

#include "browser/rules/position_rules.h"
#include "browser/thumbnail_index.h"

#include <gtk/gtk.h>

#include <vector>

// The shape of a thumbnail index; an index absent from the map counts as an
// empty study or series.
CatalogueShape catalogueShape(const ThumbnailMap &index);

BrowserPosition currentPosition();
void setCurrentPosition(const BrowserPosition &position);

// The thumbnails of the current series; empty when the position has none.
const std::vector<GtkWidget *> &currentSeriesThumbnails();

// The thumbnail at the current position, or null.
GtkWidget *currentThumbnail();
