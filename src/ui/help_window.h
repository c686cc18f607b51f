// The short help window that F1 opens from any of the program's windows.
#pragma once

#include <gtk/gtk.h>

// The help window while it exists, otherwise null; reset by its destroy notification.
extern GtkWidget *helpWindow;

// The help text: what each tile does, the browser's keys and mouse, and the
// questions asked before the diagnostic viewer starts.
extern const char *const kHelpText;

// Builds the window the first time, then brings it to the front.
void showHelpWindow();
