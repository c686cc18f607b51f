// The reference-image browser's state, in one place: its widgets, its position
// and selection, its zoom and playback. Main thread only (cine frames run on
// the main loop too). Everything else in the browser either draws from it or
// changes it through the step, zoom and playback handlers.
#pragma once

#include "tree/branch_tree.h"

#include <gtk/gtk.h>

#include <memory>

struct BrowserState {
  // The browser's top-level window: created on the first successful build,
  // then only hidden and shown.
  GtkWidget *browserWindow = nullptr;
  // The tree of the latest build.
  std::unique_ptr<BranchTree> browserTree;
  // Left pane holding the tree; insensitive during cine playback.
  GtkWidget *treeScroller = nullptr;
  // Right pane's scrolled image area; navigation moves its scroll positions.
  GtkWidget *imageScroller = nullptr;
  // The large picture.
  GtkWidget *imageView = nullptr;
  // The information line above the picture, with its tooltip.
  GtkWidget *infoLabel = nullptr;
  // Control-bar buttons whose picture, tooltip or sensitivity cine playback changes.
  GtkWidget *playButton = nullptr;
  GtkWidget *prevSeriesButton = nullptr;
  GtkWidget *prevImageButton = nullptr;
  GtkWidget *nextImageButton = nullptr;
  GtkWidget *nextSeriesButton = nullptr;
  // The zoom buttons, kept when made for the keys and the wheel that stand for them.
  GtkWidget *zoomInButton = nullptr;
  GtkWidget *zoomOutButton = nullptr;
  // The control bar's "Obraz 5 z 24 · 120%" label; empty while nothing is shown.
  GtkWidget *positionLabel = nullptr;

  // Position of the shown picture in ThumbnailIndex; -1 means no position yet.
  int currentStudy = -1;
  int currentSeries = -1;
  int currentImage = -1;
  // The thumbnail whose picture is shown and whose frame is highlighted, or null.
  GtkWidget *selectedThumbnail = nullptr;
  // Scale of the large picture; changed by the zoom buttons and by fitting the
  // picture to the view, never reset.
  double zoomFactor = 1.0;
  // The picture is scaled to fit the image area whatever its size (a double
  // click on it); zooming goes on from the fitted scale and ends this state.
  bool zoomFitsView = false;
  // Cine playback is running.
  bool cinePlaying = false;
  // Tree offset of the previous scroll target.
  int lastTreeTarget = 0;
};

// The one browser of the process.
extern BrowserState browser;

// Forgets the browser as if it had never been opened: `browser` as made, and
// ThumbnailIndex with its counts emptied. Does not destroy the widgets: whoever
// ends a session destroys the window first.
void resetBrowserState();
