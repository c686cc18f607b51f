// A real press or release of a pointer button, through the display system, at
// a point of a window: what a user's hand does, not an event made in-process.
#pragma once

#include <gdk/gdk.h>

namespace testsupport {

// False when the system cannot simulate it.
bool simulatePointerButton(GdkWindow *window, int x, int y, guint button, GdkEventType pressOrRelease);

}  // namespace testsupport
