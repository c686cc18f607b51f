// Process-wide state of the reference-image browser. Main thread only, except
// that cine frames change the position and selection (on the main loop too).
#pragma once

#include "tree/branch_tree.h"

#include <gtk/gtk.h>

#include <memory>

// The browser's top-level window: created on the first successful build, then
// only hidden and shown.
extern GtkWidget *browserWindow;
// The tree of the latest build.
extern std::unique_ptr<BranchTree> browserTree;
// Left pane holding the tree; insensitive during cine playback.
extern GtkWidget *treeScroller;
// Right pane's scrolled image area; navigation moves its scroll positions.
extern GtkWidget *imageScroller;
// The large picture.
extern GtkWidget *imageView;
// The information line above the picture, with its tooltip.
extern GtkWidget *infoLabel;
// Control-bar buttons whose picture, tooltip or sensitivity cine playback changes.
extern GtkWidget *playButton;
extern GtkWidget *prevSeriesButton;
extern GtkWidget *prevImageButton;
extern GtkWidget *nextImageButton;
extern GtkWidget *nextSeriesButton;

// Position of the shown picture in ThumbnailIndex; -1 means no position yet.
extern int currentStudy;
extern int currentSeries;
extern int currentImage;
// The thumbnail whose picture is shown and whose frame is highlighted, or null.
extern GtkWidget *selectedThumbnail;
// Scale of the large picture; changed by the zoom buttons and by fitting the
// picture to the view, never reset.
extern double zoomFactor;
// The picture is scaled to fit the image area whatever its size (a double
// click on it); zooming goes on from the fitted scale and ends this state.
extern bool zoomFitsView;
// The control bar's "Obraz 5 z 24 · 120%" label; empty while nothing is shown.
extern GtkWidget *positionLabel;
// Cine playback is running.
extern bool cinePlaying;
// Tree offset of the previous scroll target.
extern int lastTreeTarget;
