// Pointer feedback on the main window's tiles and the chooser's report icons.
// All four run on the main thread with the toolkit's lock held.
#pragma once

#include <gtk/gtk.h>

// Swapped "enter_notify_event" / "leave_notify_event" handlers of a main-window
// tile: the first argument is the tile's image, named "ObrazOpis", "ObrazRef" or "ObrazDiag".
gboolean onTileEnter(GtkWidget *image, GdkEventCrossing *event, GtkWidget *eventBox);
gboolean onTileLeave(GtkWidget *image, GdkEventCrossing *event, GtkWidget *eventBox);

// Swapped crossing handlers of a chooser row's event box; the first argument is
// the icon, whose grandparent is the row's alignment.
gboolean onDescriptionIconEnter(GtkWidget *icon, GdkEventCrossing *event, GtkWidget *eventBox);
gboolean onDescriptionIconLeave(GtkWidget *icon, GdkEventCrossing *event, GtkWidget *eventBox);
