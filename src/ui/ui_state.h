// Process-wide state the windows share: the main window's handles that other
// windows show, update and hide, and the flags that keep presses out while a
// long action runs.
#pragma once

#include <gtk/gtk.h>

#include <atomic>

// The main window; exists for the whole run.
extern GtkWidget *mainWindow;
// Status-row progress bar; shown and advanced by the browser build.
extern GtkWidget *loadProgressBar;
// Status-row spinner; started, shown, stopped and hidden by the viewer launch.
extern GtkWidget *viewerSpinner;

// A browser build is under way (raised for the whole build, lowered at its end
// whatever the outcome). Tiles, the chooser and the diagnostic tile ignore
// presses while it is raised. Main thread only.
extern bool referenceBrowserBusy;

// A viewer launch is in progress; presses on the diagnostic tile are ignored
// meanwhile. Shared between the main thread and the launch's worker threads.
extern std::atomic<bool> viewerLaunching;
