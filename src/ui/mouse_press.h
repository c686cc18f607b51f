// A press of the mouse made by the program, for the keys and the screen
// reader's actions that stand for one.
#pragma once

#include <gtk/gtk.h>

// Delivers one single press of the first mouse button to the widget, as the
// mouse does. The widget needs a window of its own.
void pressAsMouse(GtkWidget *widget);
