// The browser's thumbnails by catalogue position, and the build's counters.
#include "browser/thumbnail_index.h"

ThumbnailMap ThumbnailIndex;
int totalImageCount = 0;
int loadedImageCount = 0;
bool mediumReadable = true;
