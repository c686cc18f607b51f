// The reference-image browser's state.
#include "browser/browser_state.h"

#include "browser/thumbnail_index.h"

BrowserState browser;

void resetBrowserState() {
  browser = BrowserState();
  ThumbnailIndex.clear();
  totalImageCount = loadedImageCount = 0;
  mediumReadable = true;
}
