// The viewer's window: the series list on the left, the picture with its
// overlays, the controls and the status line on the right. Main thread only.
#pragma once

#include "imaging/examination.h"
#include "imaging/frame_cache.h"
#include "imaging/view_state.h"

#include <gtk/gtk.h>

#include <cstddef>

// Builds and shows the window for `examination`, its frames held by a cache
// of `cacheBytes`; the first series' middle image is asked for at once. The
// window owns what it shows and frees it when destroyed.
GtkWidget *openViewerWindow(Examination examination, size_t cacheBytes = kDefaultFrameCacheBytes);

// The window at once, its examination still being read ("Wczytywanie
// badania…" in place of the picture), so that it shows and answers while a
// slow disc is read; showExamination gives it what was read.
GtkWidget *openViewerWindowWhileReading(size_t cacheBytes = kDefaultFrameCacheBytes);
void showExamination(GtkWidget *window, Examination examination);

// The view state of a window made by openViewerWindow (for tests and
// benchmarks), and its frame cache.
const ViewState &viewStateOf(GtkWidget *window);
FrameCache &frameCacheOf(GtkWidget *window);
// Whether the picture of the current image is shown (decoded and drawn).
bool currentImageShown(GtkWidget *window);
