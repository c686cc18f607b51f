// The viewer's window: the series list on the left, the picture with its
// overlays, the controls and the status line on the right. Main thread only.
#pragma once

#include "imaging/examination.h"
#include "imaging/frame_cache.h"
#include "imaging/view_state.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <string>
#include <vector>

// Builds and shows the window for `examination`, its frames held by a cache
// of `cacheBytes`; the first series' middle image is asked for at once. The
// window owns what it shows and frees it when destroyed.
GtkWidget *openViewerWindow(Examination examination, size_t cacheBytes = kDefaultFrameCacheBytes);

// The window at once, its examination still being read ("Wczytywanie
// badania…" in place of the picture), so that it shows and answers while a
// slow disc is read; showExamination gives it what was read.
GtkWidget *openViewerWindowWhileReading(size_t cacheBytes = kDefaultFrameCacheBytes);
void showExamination(GtkWidget *window, Examination examination);

// The window shows one, two or four cells ("ImageView", "ImageView2" …), each
// with a series and a view state of its own; keys and controls act on the
// active one.
// The view state of the active cell of a window made by openViewerWindow, or
// of cell `cell` (for tests and benchmarks), and its frame cache.
const ViewState &viewStateOf(GtkWidget *window);
const ViewState &viewStateOf(GtkWidget *window, size_t cell);
size_t activeCellOf(GtkWidget *window);
FrameCache &frameCacheOf(GtkWidget *window);
// Whether the picture of the active cell's (or cell `cell`'s) current image
// is shown (decoded and drawn).
bool currentImageShown(GtkWidget *window);
bool currentImageShown(GtkWidget *window, size_t cell);

// Where "Zapisz obraz" refuses to save: the folders of the medium the viewer
// runs from (and below) and the working directory (the current one unless
// set).
void setRefusedSavingFolders(GtkWidget *window, std::vector<std::string> mediumFolders,
                             std::string workingDirectory);
// Prints the picture shown into the PDF file `pdf` as "Drukuj" prints it,
// without the print dialog. False with a Polish message shown when it fails.
bool printShownPictureTo(GtkWidget *window, const std::string &pdf);
