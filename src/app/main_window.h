// The main window: the row of tiles above the status row.
#pragma once

#include <gtk/gtk.h>

// Builds mainWindow with its tiles and status row, shows it, and hides the
// progress bar and the spinner again. Needs the working directory and the palette.
GtkWidget *buildMainWindow();
