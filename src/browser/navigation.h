// Stepping through images and series of the reference-image browser, the tree
// scrolling that keeps the shown thumbnail in view, and the zoom of the large
// picture. Main thread only.
#pragma once

#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"

#include <gtk/gtk.h>

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

// The shape of a thumbnail index; an index absent from the map counts as an
// empty study or series.
CatalogueShape catalogueShape(const ThumbnailMap &index);

// Images in (study, series); 0 for a pair the shape does not hold.
int seriesLength(const CatalogueShape &shape, int study, int series);

// ---- Step rules (no widgets) ----
// Each returns the position a step button moves to. Image steps wrap around
// within the series; series steps run through every series of every study and
// wrap from the last to the first, always landing on the series' first image.

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

// Each zoom press scales the picture by this factor, up or down.
constexpr double kZoomStep = 1.2;

// The factor after a zoom-in press on a width x height picture shown at
// `factor`: one step larger, but no larger than largestUsefulZoom, so the last
// press before the limit still shows the picture at the largest size.
double zoomedInFactor(int width, int height, double factor);

// The factor that fits a width x height picture into a viewWidth x viewHeight
// area, never one that would make its longer side pass kLargestShownSide.
double fitViewFactor(int width, int height, int viewWidth, int viewHeight);

// ---- The shown position ----

// The step buttons move the position at once and show it once the input
// queued before them has been handled (a held key's steps are merged). Shows
// a step not shown yet now, for actions that work on the shown picture.
void showPendingStep();

BrowserPosition currentPosition();
void setCurrentPosition(const BrowserPosition &position);

// The thumbnails of the current series; empty when the position has none.
const std::vector<GtkWidget *> &currentSeriesThumbnails();

// The thumbnail at the current position, or null.
GtkWidget *currentThumbnail();

// Unfolds the tree down to `thumbnail` and scrolls it into view.
void revealThumbnail(GtkWidget *thumbnail);

// Moves the tree's vertical scroll position to show tree offset `offset`.
void scrollTreeTo(int offset);

// Centres both scroll positions of the image area on the shown picture.
void centreImageView();

// ---- Step and zoom button handlers ----

void onPrevImage(GtkButton *button, gpointer data);
void onNextImage(GtkButton *button, gpointer data);
void onPrevSeries(GtkButton *button, gpointer data);
void onNextSeries(GtkButton *button, gpointer data);
void onZoomIn(GtkButton *button, gpointer data);
void onZoomOut(GtkButton *button, gpointer data);

// ---- Actions without a button of their own (keys and the mouse) ----
// They act under the conditions of the button named beside them.

// Home and End: like the previous and next image buttons.
void showFirstImage();
void showLastImage();
// Double click on the picture: fit the view, or back to 1:1 from there. Like zoom.
void toggleFitToView();
