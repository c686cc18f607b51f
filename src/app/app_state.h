// Process-wide state of the application shell.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Medium root from the command line or the program's path, ending in a separator.
// Set once at start-up; read only by report opening.
extern std::string currentPath;

// Palette parsed once at start-up ("#000", "#A00", "#AAA", "#FFF").
extern GdkColor colorBlack;
extern GdkColor colorDarkRed;
extern GdkColor colorGrey;
extern GdkColor colorWhite;

// The main window; exists for the whole run.
extern GtkWidget *mainWindow;
// Status-row progress bar; shown and advanced by the browser build.
extern GtkWidget *loadProgressBar;
// Status-row spinner; started, shown, stopped and hidden by the viewer launch.
extern GtkWidget *viewerSpinner;

// Parses the palette into the four colour records.
void parsePalette();
