// Where a top-level window stands in the screen's stacking order.
#pragma once

#include <gtk/gtk.h>

namespace testsupport {

// The window's place in the screen's stacking order, bottom first, counted on
// its frame when a window manager has put it into one; -1 when not found.
int stackingPosition(GtkWidget *window);

}  // namespace testsupport
