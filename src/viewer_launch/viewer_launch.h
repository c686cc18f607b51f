// The diagnostic tile's press: reads the settings, starts the viewer on one
// worker thread and watches for its splash window on another.
#pragma once

#include <gtk/gtk.h>

// "button_press_event" of the diagnostic tile's event box. Ignored while a
// launch is in progress or the reference-image browser is being built.
// Always reports the event as handled.
gboolean onDiagnosticTileClicked(GtkWidget *eventBox, GdkEventButton *event, gpointer data);

// Thread bodies. startDV runs the default viewer's start (runtime check first);
// startSRS starts the configured program and owns its copy of the settings
// (ViewerParameters *). checkDVStarting waits for the splash window titled
// "DICOMViewerSplash" (no data) or the configured one (a ViewerParameters * it owns).

// "Start DV": starts the medium's DICOMViewer, the default diagnostic viewer.
gpointer startDV(gpointer data);
// "Start SRS": starts the program that viewer.ini names instead of the default viewer.
gpointer startSRS(gpointer data);
// "Check DV starting": watches for the started viewer's splash window, whichever viewer it is.
gpointer checkDVStarting(gpointer data);

// Launch worker threads that have not ended yet.
int launchThreadsRunning();
