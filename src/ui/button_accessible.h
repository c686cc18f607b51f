// What a screen reader is told about the event boxes that the design uses as
// buttons (the tiles, the chooser's columns, the tree's rows and thumbnails):
// a push button with one action, "click", and for a row of the tree whether it
// can open and is open. Main thread only.
#pragma once

#include <gtk/gtk.h>

// The event box's accessible object becomes a push button whose action presses
// the event box as the mouse does. It applies while the toolkit's accessibility
// module is loaded, to an object made after the call (the toolkit makes one
// only when something asks for it).
void announceAsButton(GtkWidget *eventBox);

// The button opens and closes `children`: expandable, and expanded while
// `children` is shown; a screen reader hears each change.
void announceFolding(GtkWidget *eventBox, GtkWidget *children);
