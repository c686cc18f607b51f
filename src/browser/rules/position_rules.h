// Where the step buttons and keys move the browser's position, and how far the
// tree scrolls to keep the shown thumbnail in view: plain numbers, no widgets.
#pragma once

#include <vector>

// A place in ThumbnailIndex: study index, series index, position in the
// series; -1 in any of them means that no position has been taken yet.
struct BrowserPosition {
  int study = -1;
  int series = -1;
  int image = -1;
  bool operator==(const BrowserPosition &other) const {
    return study == other.study && series == other.series && image == other.image;
  }
};

// Number of images of every series: shape[study][series]. Study and series
// indexes are dense, so a vector by index describes the catalogue.
using CatalogueShape = std::vector<std::vector<int>>;

// Images in (study, series); 0 for a pair the shape does not hold.
int seriesLength(const CatalogueShape &shape, int study, int series);

// Each returns the position a step moves to. Image steps wrap around within
// the series; series steps run through every series of every study and wrap
// from the last to the first, always landing on the series' first image.
BrowserPosition previousImagePosition(BrowserPosition from, const CatalogueShape &shape);
BrowserPosition nextImagePosition(BrowserPosition from, const CatalogueShape &shape);
BrowserPosition previousSeriesPosition(BrowserPosition from, const CatalogueShape &shape);
BrowserPosition nextSeriesPosition(BrowserPosition from, const CatalogueShape &shape);
// The first and the last image of the current series (of the first series when
// there is no position yet).
BrowserPosition firstImagePosition(BrowserPosition from, const CatalogueShape &shape);
BrowserPosition lastImagePosition(BrowserPosition from, const CatalogueShape &shape);

// Scroll value for the tree when the thumbnail at tree offset `target` is to
// be shown and the previous target was `lastTarget`: near the top or the end
// of the tree the view snaps there, in between it moves by as much as the
// target moved. The result always lies within 0 .. upper - pageSize.
double treeScrollValue(int target, int lastTarget, double upper, double pageSize, double value);
